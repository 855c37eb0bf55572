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

// An outage: the connection is cut at 40 % of the bytes and every request is refused (503) for a
// while. Shorter than the outage limit, the track goes on: at the next byte when the reply had a
// length, so that the whole output equals an uninterrupted play; from the start without one. Longer,
// the track fails with error 1. Either way the player waits meanwhile and is Idle once, at the end.
struct Outage {
  const char* name;
  bool pure;
  bool contentLength;
  std::chrono::milliseconds refuseFor;
  std::chrono::milliseconds limit;  // the player's outage limit (shortened for the longest outage)
};
void PrintTo(const Outage& o, std::ostream* os) { *os << o.name; }

std::vector<std::uint8_t> trackBytes(bool pure) {
  return pure ? test::readBytes(test::purePath("en_chord_r64"))
              : test::readFileBytes(test::fixturePath("cbr.mp3"));
}

struct Heard {
  test::Pcm pcm;
  StreamerError error = StreamerError::None;
  std::vector<S> transitions;
  double resumedMs = -1;  // from the server answering again to Playing
};

// Plays the track from `server` into a WAV file.
Heard play(test::MediaServer& server, const std::string& tag) {
  const std::string wav = test::tempPath(tag + ".wav");
  test::useSink("wav:" + wav);
  Heard heard;
  {
    test::RecordingStreamer player(server.url());
    test::PlayerRun run(player);
    std::chrono::steady_clock::time_point lastPlaying{};
    run.onState = [&](S s) {
      if (s == S::Playing) lastPlaying = std::chrono::steady_clock::now();
    };
    player.start();
    EXPECT_TRUE(run.waitForIdle(std::chrono::seconds(60)));
    heard.error = player.errorCode();
    heard.transitions = player.transitions();
    if (const auto again = server.answeredAgainAt(); again && lastPlaying > *again) {
      heard.resumedMs = std::chrono::duration<double, std::milli>(lastPlaying - *again).count();
    }
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
  const auto bytes = trackBytes(o.pure);
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
  const auto ranges = server.ranges();
  if (o.refuseFor >= o.limit) {
    EXPECT_EQ(heard.error, StreamerError::NetworkConnectionFailed);
    // Reopens after 0, 0.25, 0.75, 1.75, 3.75, ... s: a handful, not a flood.
    EXPECT_LE(server.refused(), 2 + int(o.limit.count() / 500));
    std::printf("[ outage ] %s: gave up with error 1 after %d refused reopens\n", o.name, server.refused());
    return;
  }
  EXPECT_EQ(heard.error, StreamerError::None);
  ASSERT_GE(ranges.size(), 2u);
  const std::string continuation = "bytes=" + std::to_string(cut) + "-" + std::to_string(bytes.size() - 1);
  EXPECT_EQ(ranges.back(), o.contentLength ? continuation : "");
  bool matched = false;
  const auto& ref = reference.pcm.samples;
  const auto& out = heard.pcm.samples;
  if (o.contentLength) {
    matched = out == ref;
  } else {
    // Started over: the output ends with the whole track again, apart from the decoder's first
    // frame after the restart, which still overlaps the audio before the cut.
    const std::size_t tail = ref.size() * 9 / 10;
    matched =
        out.size() > ref.size() && std::equal(ref.end() - long(tail), ref.end(), out.end() - long(tail));
  }
  EXPECT_TRUE(matched);
  std::printf(
      "[ outage ] %s: refused for %lld ms, %d refused reopens, playing %.0f ms after the server "
      "answered again, audio %s\n",
      o.name, static_cast<long long>(o.refuseFor.count()), server.refused(), heard.resumedMs,
      matched ? "matched" : "differed");
}

using std::chrono_literals::operator""ms;
INSTANTIATE_TEST_SUITE_P(LoopbackServer, AudioStreamerOutage,
                         ::testing::Values(Outage{"mp3_length_1s", false, true, 1000ms, 30000ms},
                                           Outage{"mp3_length_8s", false, true, 8000ms, 30000ms},
                                           Outage{"mp3_length_40s", false, true, 40000ms, 3000ms},
                                           Outage{"mp3_nolength_1s", false, false, 1000ms, 30000ms},
                                           Outage{"mp3_nolength_8s", false, false, 8000ms, 30000ms},
                                           Outage{"mp3_nolength_40s", false, false, 40000ms, 3000ms},
                                           Outage{"pure_length_1s", true, true, 1000ms, 30000ms},
                                           Outage{"pure_length_8s", true, true, 8000ms, 30000ms},
                                           Outage{"pure_length_40s", true, true, 40000ms, 3000ms},
                                           Outage{"pure_nolength_1s", true, false, 1000ms, 30000ms},
                                           Outage{"pure_nolength_8s", true, false, 8000ms, 30000ms},
                                           Outage{"pure_nolength_40s", true, false, 40000ms, 3000ms}),
                         [](const ::testing::TestParamInfo<Outage>& info) {
                           return std::string(info.param.name);
                         });

// Slow: waits out the 20 s data-stall limit.
TEST(AudioStreamerNetwork, AStalledServerIsAskedAgainFromTheNextByteAfterTwentySeconds) {
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
  // The silent connection counts as lost: the new request continues at the first byte not read.
  const std::string range = server.ranges()[1];
  ASSERT_EQ(range.rfind("bytes=", 0), 0u);
  EXPECT_EQ(std::stoll(range.substr(6)), stall);
  ASSERT_TRUE(run.waitForIdle(std::chrono::seconds(20)));
  EXPECT_EQ(player.errorCode(), StreamerError::None);
  EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
  EXPECT_EQ(test::count(player.transitions(), S::Idle), 1);
}

}  // namespace
}  // namespace tonvera
