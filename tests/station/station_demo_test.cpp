// The generated demo library: the same every time, made once. (What it holds is checked through the
// station's scan and endpoints.)
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/fileutil.h"
#include "station/demo.h"
#include "station_fixture.h"

namespace tonvera::station {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> filesUnder(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root))
    if (e.is_regular_file()) files.push_back(fs::relative(e.path(), root).generic_string());
  std::sort(files.begin(), files.end());
  return files;
}

// Made once into the data folder, with any number of workers the same bytes as the shared copy; a
// library left incomplete (no marker) is made again.
TEST(StationDemo, EnsureGeneratesOnceTheSameLibraryEveryTime) {
  const std::string data = test::scratchFolder() + "/ensure";
  DemoOptions options;
  options.reduced = true;
  options.threads = 1;  // a different number of workers than the shared copy's
  std::vector<std::string> lines;
  options.progress = [&](const std::string& line) { lines.push_back(line); };
  auto folder = ensureDemoLibrary(data, options);
  ASSERT_TRUE(folder);
  const auto files = filesUnder(test::demoFolder());
  auto made = filesUnder(*folder);
  std::erase(made, ".tonvera-demo");
  ASSERT_EQ(files, made);
  for (const auto& rel : files)
    EXPECT_EQ(readFile(test::demoFolder() + "/" + rel), readFile(*folder + "/" + rel)) << rel;

  lines.clear();
  ASSERT_EQ(ensureDemoLibrary(data, options), folder);
  EXPECT_TRUE(lines.empty());  // nothing generated again
  fs::remove(data + "/demo/.tonvera-demo");
  ASSERT_EQ(ensureDemoLibrary(data, options), folder);
  EXPECT_FALSE(lines.empty());
}

}  // namespace
}  // namespace tonvera::station
