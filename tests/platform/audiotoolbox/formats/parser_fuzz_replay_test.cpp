// Replays the audio parser's fuzz corpus through the fuzz entry, so every input that once broke an
// invariant stays covered in the normal test run.
#include <gtest/gtest.h>

#include <filesystem>

#include "format_fixtures.h"
#include "parser_fuzz_entry.h"

namespace tonvera {
namespace {

namespace fs = std::filesystem;

TEST(AudioParserFuzzReplay, CommittedCorpus) {
  int count = 0;
  for (const auto& entry :
       fs::directory_iterator(fs::path(TONVERA_SOURCE_DIR) / "fuzz" / "audiotoolbox" / "corpus")) {
    if (!entry.is_regular_file()) continue;
    const test::Bytes bytes = test::readFile(entry.path().string());
    SCOPED_TRACE(entry.path().filename().string());
    fuzz::audioParserOneInput(bytes.data(), bytes.size());
    ++count;
  }
  EXPECT_GE(count, 20);
}

}  // namespace
}  // namespace tonvera
