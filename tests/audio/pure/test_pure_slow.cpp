// Slow (about 23 s, real-time sink): a file player runs past the 20 s data-stall limit of the
// stream player. Files are read from the disk and never stall, so nothing re-requests the audio:
// no seek happens and the output is the whole file once, without a replayed stretch.
#include <gtest/gtest.h>

#include <cstdio>

#include "g719_test_util.h"
#include "player_run.h"
#include "pure_test_util.h"

namespace tonvera {
namespace {

TEST(PureFilerSlow, NoDataStallSeekWhileAFilePlaysPastTheLimit) {
  constexpr int kFrames = 1100;  // 22 s
  const auto bytes = test::buildPure(64, {"speech_en_r64", "chord_r64", "castanets_r64"},
                                     {"speech_zh_r64", "silence_r64", "chord_r64"}, kFrames, 21);
  const std::string path = test::writeBytes(test::tempPath("stall.pur"), bytes);
  const std::string wav = test::tempPath("stall.wav");
  test::useSink("wav:" + wav + ":realtime");
  {
    test::SeekRecordingFiler player(path);
    test::PlayerRun run(player);
    player.start();
    ASSERT_TRUE(run.waitForIdle(std::chrono::seconds(60)));
    EXPECT_EQ(player.errorCode(), StreamerError::None);
    EXPECT_TRUE(player.seekOffsets().empty());
  }
  const auto expected = test::decodeWhole(bytes);
  const auto out = test::wavSamples(wav);
  ASSERT_EQ(out.size(), expected.size());
  const long from = test::firstExactFrameToTheEnd(expected, out);
  EXPECT_GE(from, 0);
  EXPECT_LE(from, 16);
  std::remove(wav.c_str());
  std::remove(path.c_str());
}

}  // namespace
}  // namespace tonvera
