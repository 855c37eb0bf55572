// The stream player when the network fails: a connection cut in the middle of the track and a
// server that stops sending for longer than the data-stall limit. Neither ends the track, and
// neither passes through Idle before the end.
#include <gtest/gtest.h>

#include "streamer_fixtures.h"
#include "player_run.h"

namespace tonvera {
namespace {

using S = StreamerState;

TEST(AudioStreamerNetwork, ACutConnectionIsReopenedWhereItStoppedAndTheTrackPlaysOn) {
  const std::string wav = test::tempPath("cut.wav");
  test::useSink("wav:" + wav);
  const auto bytes = test::readFileBytes(test::fixturePath("cbr.mp3"));
  const std::int64_t cut = std::int64_t(bytes.size() * 2 / 5);
  test::MediaServer server(bytes, {.dropAfter = cut});
  {
    test::RecordingStreamer player(server.url());
    test::PlayerRun run(player);
    player.start();
    ASSERT_TRUE(run.waitForIdle());
    EXPECT_EQ(player.errorCode(), StreamerError::None);
    EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
    const auto t = player.transitions();
    EXPECT_EQ(test::count(t, S::Idle), 1);
    EXPECT_EQ(t.back(), S::Idle);
    // The second request continues at the first byte not read.
    const auto ranges = server.ranges();
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[1], "bytes=" + std::to_string(cut) + "-" + std::to_string(bytes.size() - 1));
  }
  const auto out = test::readWav(wav);
  ASSERT_TRUE(out);
  const auto ref = test::readRaw(test::fixturePath("cbr.raw"));
  const long shift = test::findAlignment(*out, ref, 5000);
  ASSERT_GE(shift, 0);
  // Nothing skipped, nothing repeated: the whole track at one alignment; only the fades around
  // the start and the reopening differ.
  EXPECT_LT(test::countMismatches(*out, ref, shift), std::size_t(out->rate) * 3);
  const std::size_t tail = ref.size() / 2 - std::size_t(out->rate);
  EXPECT_EQ(test::countMismatches(*out, ref, shift, tail), 0u);
  std::remove(wav.c_str());
}

// Slow: waits out the 20 s data-stall limit.
TEST(AudioStreamerNetwork, AStalledServerIsAskedAgainFromTheCurrentPositionAfterTwentySeconds) {
  test::useSink("null");
  const auto bytes = test::readFileBytes(test::fixturePath("cbr.mp3"));
  const std::int64_t stall = std::int64_t(bytes.size() / 2);
  test::MediaServer server(bytes, {.stallAfter = stall});
  test::RecordingStreamer player(server.url());
  test::PlayerRun run(player);
  const auto begin = std::chrono::steady_clock::now();
  player.start();
  ASSERT_TRUE(run.waitFor([&] { return server.ranges().size() == 2; }, std::chrono::seconds(40)));
  const double waited = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  EXPECT_GT(waited, 19.5);
  EXPECT_EQ(test::count(player.transitions(), S::Idle), 0);
  // The new request starts near the position heard when the data stopped (everything sent was
  // played by the null sink): within a few packets of the cut.
  const std::string range = server.ranges()[1];
  ASSERT_EQ(range.rfind("bytes=", 0), 0u);
  const std::int64_t from = std::stoll(range.substr(6));
  EXPECT_LE(from, stall);
  EXPECT_GT(from, stall - 8 * 1045);
  ASSERT_TRUE(run.waitForIdle(std::chrono::seconds(20)));
  EXPECT_EQ(player.errorCode(), StreamerError::None);
  EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
  EXPECT_EQ(test::count(player.transitions(), S::Idle), 1);
}

}  // namespace
}  // namespace tonvera
