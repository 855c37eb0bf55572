// The reader over the JSON test suite's parsing files: "y_" files parse (but those its own rules
// decide otherwise, listed with the rule), "n_" files fail, "i_" files end cleanly. Every file and the
// committed fuzz corpus also go through the fuzz entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "json_fuzz_entry.h"
#include "platform/fileutil.h"
#include "service/jsonvalue.h"

namespace tonvera {
namespace {

namespace fs = std::filesystem;

struct SuiteFile {
  std::string name;
  std::string bytes;
};

// The files of `dir` whose names start with `prefix`, sorted by name; each replayed through the fuzz
// entry on the way.
std::vector<SuiteFile> suiteFiles(const std::string& prefix,
                                  const fs::path& dir = fs::path(TONVERA_SHARED_DIR) / "jsontestsuite" /
                                                        "test_parsing") {
  std::vector<SuiteFile> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (!name.starts_with(prefix)) continue;
    auto bytes = readFile(entry.path().string());
    if (!bytes) continue;
    SCOPED_TRACE(name);
    fuzz::jsonReaderOneInput(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size());
    files.push_back({name, std::move(*bytes)});
  }
  std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  return files;
}

// "y_" files that fail here, each with the rule that decides it and the exact message.
const std::map<std::string, std::string>& acceptedFilesThatFail() {
  static const std::string kNotOuter = " not expected before outer-most array or object";
  static const std::map<std::string, std::string> files = {
      // The outer-most value must be an array or an object.
      {"y_string_space.json", "Token 'string'" + kNotOuter},
      {"y_structure_lonely_false.json", "Token 'boolean'" + kNotOuter},
      {"y_structure_lonely_null.json", "Token 'null'" + kNotOuter},
      {"y_structure_lonely_string.json", "Token 'string'" + kNotOuter},
      {"y_structure_lonely_true.json", "Token 'boolean'" + kNotOuter},
      {"y_structure_string_empty.json", "Token 'string'" + kNotOuter},
      // A number is complete only when a following character has been seen; these files end with it.
      {"y_structure_lonely_int.json", "Unexpected end of input"},
      {"y_structure_lonely_negative_real.json", "Unexpected end of input"},
  };
  return files;
}

TEST(JsonConformance, AcceptedFilesParse) {
  const auto files = suiteFiles("y_");
  EXPECT_GT(files.size(), 90u);
  int listed = 0;
  for (const auto& f : files) {
    std::string error;
    auto value = parseJson(f.bytes, &error);
    auto rule = acceptedFilesThatFail().find(f.name);
    if (rule == acceptedFilesThatFail().end()) {
      EXPECT_TRUE(value) << f.name << ": " << error;
    } else {
      EXPECT_FALSE(value) << f.name;
      EXPECT_EQ(error, rule->second) << f.name;
      ++listed;
    }
  }
  EXPECT_EQ(listed, static_cast<int>(acceptedFilesThatFail().size()));
}

// "n_" files fail with a message; "i_" files end with exactly one of a value and a message.
TEST(JsonConformance, RejectedFilesFailAndImplementationDefinedOnesEndCleanly) {
  for (const char* prefix : {"n_", "i_"}) {
    const bool rejected = prefix[0] == 'n';
    const auto files = suiteFiles(prefix);
    EXPECT_GT(files.size(), rejected ? 150u : 20u);
    for (const auto& f : files) {
      std::string error;
      auto value = parseJson(f.bytes, &error);
      EXPECT_NE(value.has_value(), !error.empty()) << f.name << ": exactly one of value and error";
      EXPECT_FALSE(rejected && value) << f.name;
    }
  }
}

TEST(JsonConformance, FuzzCorpusRunsClean) {
  EXPECT_GE(suiteFiles("", fs::path(TONVERA_SOURCE_DIR) / "fuzz" / "service" / "corpus").size(), 10u);
}

}  // namespace
}  // namespace tonvera
