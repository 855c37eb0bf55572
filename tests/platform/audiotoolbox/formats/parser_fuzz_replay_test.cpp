// Replays the audio parser's fuzz corpus through the fuzz entry, so every input that once broke an
// invariant stays covered in the normal test run; and the fixtures themselves, whole and damaged,
// cut in every way the entry cuts them.
#include <gtest/gtest.h>

#include <filesystem>
#include <random>

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
    const test::Bytes bytes = test::readBytes(entry.path().string());
    SCOPED_TRACE(entry.path().filename().string());
    fuzz::audioParserOneInput(bytes.data(), bytes.size());
    ++count;
  }
  EXPECT_GE(count, 20);
}

// The fixtures whole and damaged as streams get damaged: cut short anywhere in their headers, with
// header bits flipped, and with garbage after a valid start.
TEST(AudioParserFuzzReplay, WholeAndDamagedFixtures) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  std::mt19937 random(42);
  for (const auto& c : test::formatCases()) {
    // The entry's first byte: 0 ADTS, 1 MP4, 2 WAV, 3 AIFF, 4 CAF; the second seeds its chunking.
    const std::uint8_t selector = c.fileType == kAudioFileAAC_ADTSType ? 0
                                  : c.fileType == kAudioFileWAVEType   ? 2
                                  : c.fileType == kAudioFileAIFFType   ? 3
                                  : c.fileType == kAudioFileCAFType    ? 4
                                                                       : 1;
    const test::Bytes file = test::readBytes(test::fixturePath(c));
    ASSERT_FALSE(file.empty()) << c.name;
    SCOPED_TRACE(c.name);
    auto replay = [&](std::size_t length, auto&& damage) {
      test::Bytes input = {selector, std::uint8_t(random())};
      input.insert(input.end(), file.begin(),
                   file.begin() + static_cast<std::ptrdiff_t>(std::min(length, file.size())));
      damage(input);
      fuzz::audioParserOneInput(input.data(), input.size());
    };
    const auto none = [](test::Bytes&) {};
    replay(file.size(), none);
    for (std::size_t end = 0; end < std::min<std::size_t>(file.size(), 2048); end += end < 200 ? 1 : 61) {
      replay(end, none);
    }
    const std::size_t header = std::min<std::size_t>(file.size(), c.packets ? 4000 : 200);
    for (int round = 0; round < 100; ++round) {
      replay(20000, [&](test::Bytes& b) {
        for (int flips = 0; flips < 4; ++flips)
          b[2 + random() % header] ^= std::uint8_t(1u << (random() % 8));
      });
    }
    for (int round = 0; round < 8; ++round) {
      replay(random() % (file.size() / 2), [&](test::Bytes& b) {
        for (int i = 0; i < 40000; ++i) b.push_back(std::uint8_t(random()));
      });
    }
  }
}

}  // namespace
}  // namespace tonvera
