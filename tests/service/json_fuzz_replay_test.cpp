// Replays the JSON reader's fuzz corpus (and the test suite's files) through the fuzz entry, so every
// input that once broke an invariant stays covered in the normal test run.
#include <gtest/gtest.h>

#include <filesystem>

#include "json_fuzz_entry.h"
#include "platform/fileutil.h"

namespace tonvera {
namespace {

namespace fs = std::filesystem;

int replayFolder(const fs::path& dir) {
  int count = 0;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (!entry.is_regular_file()) continue;
    auto bytes = readFile(entry.path().string());
    if (!bytes) continue;
    SCOPED_TRACE(entry.path().filename().string());
    fuzz::jsonReaderOneInput(reinterpret_cast<const std::uint8_t*>(bytes->data()), bytes->size());
    ++count;
  }
  return count;
}

TEST(JsonFuzzReplay, CommittedCorpus) {
  EXPECT_GE(replayFolder(fs::path(TONVERA_SOURCE_DIR) / "fuzz" / "service" / "corpus"), 10);
}

TEST(JsonFuzzReplay, TestSuiteFiles) {
  EXPECT_GT(replayFolder(fs::path(TONVERA_SHARED_DIR) / "jsontestsuite" / "test_parsing"), 300);
}

}  // namespace
}  // namespace tonvera
