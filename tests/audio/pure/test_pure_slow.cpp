// The data-stall watchdog, its limit shortened to 1 s on a clock the test moves: a file player runs
// past the limit (files are read from the disk and never stall, so nothing asks for the audio
// again), and a stream that goes silent past it is asked for again from the next byte. Both play
// the whole audio once, without a replayed stretch.
#include <gtest/gtest.h>

#include <atomic>
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
  std::atomic<std::int64_t> ms{0};  // the player's clock
  std::atomic<int> reads{0};
  options.now = [&] {
    ++reads;
    return StreamerOptions::Clock::time_point(std::chrono::milliseconds(ms.load()));
  };
  // Waits until the player has looked at its clock twice more: a pass ended after the first look.
  auto twoLooks = [&](test::PlayerRun& run) {
    const int from = reads;
    return run.waitFor([&] { return reads >= from + 2; });
  };
  if (GetParam().file) {
    const std::string path = test::writeBytes(test::tempPath("stall.pur"), bytes);
    test::useSink("wav:" + wav + ":realtime");  // plays for many passes of the player's loop
    options.now = [&] {  // every look is twice the limit later than the one before
      return StreamerOptions::Clock::time_point(std::chrono::milliseconds(ms += 2 * kLimitMs));
    };
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
    player.start();
    // The clock holds until the stream has gone silent and the player has run dry; at the limit
    // nothing happens yet, just past it the stream is asked for again.
    ASSERT_TRUE(run.waitFor(
        [&] { return server.bytesSent() == stall && player.state() == StreamerState::Buffering; }));
    ASSERT_TRUE(twoLooks(run));
    ms = kLimitMs;
    ASSERT_TRUE(twoLooks(run));
    EXPECT_EQ(server.ranges().size(), 1u);
    ms = kLimitMs + 1;
    ASSERT_TRUE(run.waitFor([&] { return server.ranges().size() == 2; }, std::chrono::seconds(30)));
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
