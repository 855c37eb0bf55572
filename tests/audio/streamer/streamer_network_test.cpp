// The stream player when the network fails: an outage (the connection cut in the middle of the
// track, the server refusing for a while) and a server that stops sending for longer than the
// data-stall limit. Neither passes through Idle before the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "g719_test_util.h"
#include "player_run.h"
#include "pure_test_util.h"
#include "streamer_fixtures.h"

namespace tonvera {
namespace {

using S = StreamerState;
using namespace std::chrono_literals;

// An outage: the connection is cut at 40 % of the bytes (inside a frame) and every request is
// refused (503) for a while. Shorter than the outage limit, the track goes on: at the next byte
// when the reply had a length, so that the whole output equals an uninterrupted play; from the
// start without one. Longer, the track fails with error 1 (after reopens late enough to reach the
// longest back-off). Either way the player waits meanwhile and is Idle once, at the end.
struct Outage {
  const char* name;
  bool pure;
  bool contentLength;
  std::chrono::milliseconds refuseFor;
  std::chrono::milliseconds limit;  // the player's outage limit
};
void PrintTo(const Outage& o, std::ostream* os) { *os << o.name; }

struct Heard {
  test::Pcm pcm;
  StreamerError error = StreamerError::None;
  std::vector<S> transitions;
};

// Plays the track from `server` into a WAV file.
Heard play(test::MediaServer& server, const std::string& tag) {
  const std::string wav = test::tempPath(tag + ".wav");
  test::useSink("wav:" + wav);
  Heard heard;
  {
    test::RecordingStreamer player(server.url());
    test::PlayerRun run(player);
    player.start();
    EXPECT_TRUE(run.waitForIdle(std::chrono::seconds(60)));
    heard.error = player.errorCode();
    heard.transitions = player.transitions();
  }
  if (auto pcm = test::readWav(wav)) heard.pcm = std::move(*pcm);
  std::remove(wav.c_str());
  return heard;
}

class AudioStreamerOutage : public ::testing::TestWithParam<Outage> {
 protected:
  void TearDown() override { ::unsetenv(AudioStreamer::kOutageLimitVariable); }
};

TEST_P(AudioStreamerOutage, TheTrackGoesOnAtTheNextByteOrFailsOnceAfterTheLimit) {
  const Outage& o = GetParam();
  const auto bytes = o.pure ? test::readBytes(test::purePath("en_chord_r64"))
                            : test::readBytes(test::fixturePath("cbr.mp3"));
  test::MediaOptions options;
  options.contentType = o.pure ? "audio/x-pur" : "audio/mpeg";
  options.contentLength = o.contentLength;

  test::MediaServer whole(bytes, options);
  const Heard reference = play(whole, std::string(o.name) + "-ref");
  ASSERT_EQ(reference.error, StreamerError::None);

  const std::int64_t cut = std::int64_t(bytes.size() * 2 / 5);
  options.dropAfter = cut;
  options.refuseFor = o.refuseFor;
  ::setenv(AudioStreamer::kOutageLimitVariable, std::to_string(o.limit.count()).c_str(), 1);
  test::MediaServer server(bytes, options);
  const Heard heard = play(server, o.name);

  EXPECT_EQ(test::count(heard.transitions, S::Idle), 1);
  EXPECT_EQ(test::count(heard.transitions, S::Paused), 0);
  if (o.refuseFor >= o.limit) {
    EXPECT_EQ(heard.error, StreamerError::NetworkConnectionFailed);
    // Reopens after 0, 0.25, 0.75, 1.75, 3.75, ... s: a handful, not a flood.
    EXPECT_LE(server.refused(), 2 + int(o.limit.count() / 500));
    return;
  }
  EXPECT_EQ(heard.error, StreamerError::None);
  const auto ranges = server.ranges();
  ASSERT_GE(ranges.size(), 2u);
  const std::string continuation = "bytes=" + std::to_string(cut) + "-" + std::to_string(bytes.size() - 1);
  EXPECT_EQ(ranges.back(), o.contentLength ? continuation : "");
  const auto& ref = reference.pcm.samples;
  const auto& out = heard.pcm.samples;
  if (o.contentLength) {
    EXPECT_TRUE(out == ref);
  } else {
    // Started over (a PURE stream's header read again, not framed as audio): the output ends with
    // the whole track again, apart from the decoder's first frame after the restart, which still
    // overlaps the audio before the cut.
    const std::size_t tail = ref.size() * 9 / 10;
    ASSERT_GT(out.size(), ref.size());
    EXPECT_TRUE(std::equal(ref.end() - long(tail), ref.end(), out.end() - long(tail)));
  }
}

INSTANTIATE_TEST_SUITE_P(LoopbackServer, AudioStreamerOutage,
                         ::testing::Values(Outage{"mp3_length", false, true, 300ms, 30000ms},
                                           Outage{"pure_length", true, true, 300ms, 30000ms},
                                           Outage{"pure_nolength", true, false, 300ms, 30000ms},
                                           Outage{"mp3_gives_up", false, true, 40000ms, 4000ms}),
                         [](const ::testing::TestParamInfo<Outage>& info) {
                           return std::string(info.param.name);
                         });

// Slow: waits out the 20 s data-stall limit.
TEST(AudioStreamerNetwork, AStalledServerIsAskedAgainFromTheNextByteAfterTwentySeconds) {
  test::useSink("null");
  const auto bytes = test::readBytes(test::fixturePath("cbr.mp3"));
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
  // The silent connection counts as lost: the new request continues at the first byte not read.
  EXPECT_EQ(server.ranges()[1], "bytes=" + std::to_string(stall) + "-" + std::to_string(bytes.size() - 1));
  ASSERT_TRUE(run.waitForIdle(std::chrono::seconds(20)));
  EXPECT_EQ(player.errorCode(), StreamerError::None);
  EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
  EXPECT_EQ(test::count(player.transitions(), S::Idle), 1);
}

}  // namespace
}  // namespace tonvera
