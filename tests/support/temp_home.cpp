#include "temp_home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tonvera::test {

namespace {
const char* const kVariables[] = {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME",
                                  "XDG_STATE_HOME"};
}

TempHome::TempHome() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tonvera-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
  for (const char* name : kVariables) {
    const char* old = std::getenv(name);
    saved_.emplace_back(name, old ? old : "\x01");
  }
  ::setenv("HOME", path_.c_str(), 1);
  ::setenv("XDG_CONFIG_HOME", configHome().c_str(), 1);
  ::setenv("XDG_DATA_HOME", dataHome().c_str(), 1);
  ::setenv("XDG_CACHE_HOME", (path_ + "/.cache").c_str(), 1);
  ::setenv("XDG_STATE_HOME", stateHome().c_str(), 1);
}

TempHome::~TempHome() {
  for (const auto& [name, value] : saved_) {
    if (value == "\x01") {
      ::unsetenv(name.c_str());
    } else {
      ::setenv(name.c_str(), value.c_str(), 1);
    }
  }
  if (!std::getenv("TONVERA_KEEP_TEMP")) {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
}

void writeTextFile(const std::string& path, const std::string& bytes) {
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

int replayCorpus(const std::string& folder,
                 const std::function<int(const std::uint8_t*, std::size_t)>& fuzzOne) {
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                          std::istreambuf_iterator<char>()};
    EXPECT_EQ(fuzzOne(bytes.data(), bytes.size()), 0) << entry.path().filename().string();
    ++count;
  }
  return count;
}

}  // namespace tonvera::test
