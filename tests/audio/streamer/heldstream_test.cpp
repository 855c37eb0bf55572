// A track started from the head of its stream held in memory: the rest comes over the network from
// the first byte not held, and the whole track sounds as one uninterrupted decode.
#include "audio/heldstream.h"

#include <gtest/gtest.h>

#include <atomic>

#include "player_run.h"
#include "streamer_fixtures.h"

namespace tonvera {
namespace {

TEST(HeldStreamer, HeadFromMemoryAndTheRestFromTheNextByteSoundAsTheWholeTrack) {
  const auto bytes = test::readFileBytes(test::fixturePath("cbr.mp3"));
  const auto ref = test::readRaw(test::fixturePath("cbr.raw"));
  struct Case {
    const char* name;
    std::size_t head;
    std::vector<std::string> ranges;  // of the requests the server saw
  };
  const Case cases[] = {
      {"a head ending inside a frame", 4099, {"", "bytes=4099-" + std::to_string(bytes.size() - 1)}},
      {"the whole stream held", bytes.size() + 1, {""}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string wav = test::tempPath("held.wav");
    test::useSink("wav:" + wav);
    test::MediaServer server(bytes);
    const std::atomic<bool> cancel{false};
    auto head = fetchHeldStream(server.url(), c.head, cancel);
    ASSERT_TRUE(head && head->usable());
    EXPECT_EQ(head->complete, c.head > bytes.size());
    {
      HeldStreamer player(std::make_shared<const HeldStream>(std::move(*head)));
      test::PlayerRun run(player);
      player.start();
      ASSERT_TRUE(run.waitForIdle());
      EXPECT_EQ(player.errorCode(), StreamerError::None);
      EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
    }
    EXPECT_EQ(server.ranges(), c.ranges);
    const auto out = test::readWav(wav);
    ASSERT_TRUE(out);
    const long shift = test::findAlignment(*out, ref, 5000);
    ASSERT_GE(shift, 0);
    // Only the fade-in at the start differs.
    EXPECT_EQ(test::countMismatches(*out, ref, shift, std::size_t(out->rate) / 5), 0u);
    std::remove(wav.c_str());
  }
}

}  // namespace
}  // namespace tonvera
