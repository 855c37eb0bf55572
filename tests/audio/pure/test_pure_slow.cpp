// The data-stall watchdog, its limit shortened to 1 s: a file player runs past the limit (files are
// read from the disk and never stall, so nothing asks for the audio again), and a stream that goes
// silent past it is asked for again from the next byte. Both play the whole audio once, without a
// replayed stretch.
#include <gtest/gtest.h>

#include <cstdio>

#include "audio/audiofiler.h"
#include "audio/audiostreamer.h"
#include "g719_test_util.h"
#include "media_server.h"
#include "player_run.h"
#include "pure_test_util.h"

namespace tonvera {
namespace {

constexpr int kLimitMs = 1000;

struct StallCase {
  const char* name;
  bool file;  // a file player on a local file; otherwise a stream that stalls halfway
};

class DataStall : public ::testing::TestWithParam<StallCase> {};

TEST_P(DataStall, OnlyAStalledStreamIsAskedForAgain) {
  constexpr int kFrames = 150;  // 3 s
  const auto bytes = test::buildPure(64, {"speech_en_r64", "chord_r64", "castanets_r64"},
                                     {"speech_zh_r64", "silence_r64", "chord_r64"}, kFrames, 21);
  const std::string wav = test::tempPath(std::string(GetParam().name) + ".wav");
  StreamerOptions options;
  options.dataStallLimit = std::chrono::milliseconds(kLimitMs);
  if (GetParam().file) {
    const std::string path = test::writeBytes(test::tempPath("stall.pur"), bytes);
    test::useSink("wav:" + wav + ":realtime");  // plays past the limit in real time
    {
      test::OffsetLog offsets;
      AudioStreamer player(offsets.wrap(makeFileInput(AudioFiler::fileUrlFor(path))), options);
      test::PlayerRun run(player);
      player.start();
      ASSERT_TRUE(run.waitForIdle(std::chrono::seconds(30)));
      EXPECT_EQ(player.errorCode(), StreamerError::None);
      EXPECT_TRUE(offsets.seekOffsets().empty());
    }
    std::remove(path.c_str());
  } else {
    const std::int64_t stall = std::int64_t(bytes.size() / 2);
    test::MediaServer server(bytes, {.contentType = "audio/x-pur", .stallAfter = stall});
    test::useSink("wav:" + wav);
    AudioStreamer player(server.url(), options);
    test::PlayerRun run(player);
    const auto begin = std::chrono::steady_clock::now();
    player.start();
    ASSERT_TRUE(run.waitFor([&] { return server.ranges().size() == 2; }, std::chrono::seconds(30)));
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(kLimitMs));
    // The silent connection counts as lost: the new request continues at the first byte not read.
    EXPECT_EQ(server.ranges()[1], "bytes=" + std::to_string(stall) + "-" + std::to_string(bytes.size() - 1));
    ASSERT_TRUE(run.waitForIdle(std::chrono::seconds(30)));
    EXPECT_EQ(player.errorCode(), StreamerError::None);
  }
  const auto expected = test::decodeWhole(bytes);
  const auto out = test::wavSamples(wav);
  ASSERT_EQ(out.size(), expected.size());
  const long from = test::firstExactFrameToTheEnd(expected, out);
  EXPECT_GE(from, 0);
  EXPECT_LE(from, 16);
  std::remove(wav.c_str());
}

INSTANTIATE_TEST_SUITE_P(PastTheLimit, DataStall,
                         ::testing::Values(StallCase{"LocalFile", true}, StallCase{"StalledStream", false}),
                         [](const ::testing::TestParamInfo<StallCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace tonvera
