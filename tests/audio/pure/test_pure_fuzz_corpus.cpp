// Replays the committed corpus of the PURE stream fuzz target through its entry function.
#include <gtest/gtest.h>

#include <filesystem>

#include "g719_test_util.h"
#include "pure_fuzz_entry.h"

namespace tonvera::test {
namespace {

TEST(PureFuzz, CorpusReplays) {
  const std::filesystem::path dir = std::filesystem::path(TONVERA_SOURCE_DIR) / "tests/audio/pure/corpus";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const auto bytes = readBytes(entry.path().string());
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(pureFuzzOneInput(bytes.data(), bytes.size()), 0);
    ++count;
  }
  EXPECT_GE(count, 8);
}

}  // namespace
}  // namespace tonvera::test
