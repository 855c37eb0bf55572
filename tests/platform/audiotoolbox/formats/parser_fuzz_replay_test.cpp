// Replays the audio parser's fuzz corpus through the fuzz entry, so every input that once broke an
// invariant stays covered in the normal test run; and the fixtures themselves, cut in every way
// the entry cuts them.
#include <gtest/gtest.h>

#include <filesystem>

#include "format_fixtures.h"
#include "parser_fuzz_entry.h"
#include "platform/audiotoolbox/audiotypes.h"

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

TEST(AudioParserFuzzReplay, WholeFixtures) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  for (const auto& c : test::formatCases()) {
    // The entry's first byte: 0 ADTS, 1 MP4, 2 WAV, 3 AIFF, 4 CAF.
    const std::uint8_t selector = c.fileType == kAudioFileAAC_ADTSType ? 0
                                  : c.fileType == kAudioFileWAVEType   ? 2
                                  : c.fileType == kAudioFileAIFFType   ? 3
                                  : c.fileType == kAudioFileCAFType    ? 4
                                                                       : 1;
    test::Bytes input = {selector, 17};
    const test::Bytes file = test::readFile(test::fixturePath(c));
    input.insert(input.end(), file.begin(), file.end());
    SCOPED_TRACE(c.name);
    fuzz::audioParserOneInput(input.data(), input.size());
  }
}

}  // namespace
}  // namespace tonvera
