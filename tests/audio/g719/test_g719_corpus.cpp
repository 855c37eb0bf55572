// Replays the committed fuzz corpus through the fuzz target's entry function.
#include <gtest/gtest.h>

#include <filesystem>

#include "g719_fuzz_entry.h"
#include "g719_test_util.h"

namespace tonvera::test {
namespace {

TEST(G719Fuzz, CorpusReplays) {
  const std::filesystem::path dir = std::filesystem::path(TONVERA_SOURCE_DIR) / "tests/audio/g719/corpus";
  int count = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const auto bytes = readBytes(entry.path().string());
    SCOPED_TRACE(entry.path().filename().string());
    EXPECT_EQ(g719FuzzOneInput(bytes.data(), bytes.size()), 0);
    ++count;
  }
  EXPECT_GT(count, 10);
}

}  // namespace
}  // namespace tonvera::test
