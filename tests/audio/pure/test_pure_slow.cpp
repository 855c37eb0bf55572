// The data-stall watchdog on a clock the test moves: a stream silent past the limit is asked for
// again from the next byte, and the whole audio plays once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>

#include "audio/audiostreamer.h"
#include "g719_test_util.h"
#include "media_server.h"
#include "player_run.h"
#include "pure_test_util.h"

namespace tonvera {
namespace {

constexpr int kLimitMs = 1000;

TEST(DataStall, AStalledStreamIsAskedForAgainFromTheNextByteJustPastTheLimit) {
  constexpr int kFrames = 150;  // 3 s
  const auto bytes = test::buildPure(64, {"speech_en_r64", "chord_r64", "castanets_r64"},
                                     {"speech_zh_r64", "silence_r64", "chord_r64"}, kFrames, 21);
  const std::string wav = test::tempPath("stall.wav");
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
  {
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

}  // namespace
}  // namespace tonvera
