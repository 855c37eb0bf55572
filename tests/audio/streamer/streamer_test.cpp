// The stream player against loopback servers: output, controls and notifications, the start rule,
// seeking, a head held in memory, and outages (a stalled server is in test_pure_slow.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "audio/heldstream.h"
#include "platform/audiotoolbox/mp3streamparser.h"
#include "player_run.h"
#include "pure_test_util.h"
#include "streamer_fixtures.h"

namespace tonvera {
namespace {

using S = StreamerState;

// A fixture served over loopback HTTP to a player on `sink`, its notifications observed.
struct Served {
  Served(const std::string& sink, std::vector<std::uint8_t> bytes, test::MediaOptions options = {})
      : server((test::useSink(sink), std::move(bytes)), std::move(options)) {}
  Served(const std::string& sink, const std::string& file, test::MediaOptions options = {})
      : Served(sink, test::readBytes(test::fixturePath(file)), std::move(options)) {}

  test::MediaServer server;
  test::StateLog log;
  AudioStreamer player{server.url(), log.options()};
  test::PlayerRun run{player};
};

TEST(AudioStreamer, DecodedOutputMatchesAnIndependentDecodeApartFromTheFadeIn) {
  for (const char* name : {"cbr", "vbr"}) {
    SCOPED_TRACE(name);
    const std::string wav = test::tempPath(std::string(name) + ".wav");
    {
      Served s("wav:" + wav, std::string(name) + ".mp3");
      auto [player, run] = std::tie(s.player, s.run);
      player.start();
      ASSERT_TRUE(run.waitForIdle());
      EXPECT_EQ(player.errorCode(), StreamerError::None);
      EXPECT_TRUE(run.allOnMainThread);
      // One notification per change.
      EXPECT_EQ(run.seen.size(), s.log.transitions().size());
      // The WAV sink plays faster than real time, so on a busy machine it may run dry and wait for
      // the network: Buffering (and the Playing after it) is a legitimate underrun, not another path.
      auto t = s.log.transitions();
      std::erase(t, S::Buffering);
      t.erase(std::unique(t.begin(), t.end()), t.end());
      EXPECT_EQ(t, (std::vector<S>{S::StartingThread, S::WaitingForData, S::WaitingForQueueStart, S::Playing,
                                   S::Stopping, S::Stopped, S::Idle}));
      EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
    }
    const auto out = test::readWav(wav);
    ASSERT_TRUE(out);
    const auto ref = test::readPcm(test::fixturePath(std::string(name) + ".raw"));
    const long shift = test::findAlignment(*out, ref, 5000);
    ASSERT_GE(shift, 0);
    // The fade-in touches at most the 16 buffers queued before it ends (well under a second).
    const std::size_t second = std::size_t(out->rate);
    EXPECT_EQ(test::countMismatches(*out, ref, shift, second), 0u);
    // Nothing is missing or added at the end (beyond the encoder's padding the reference trims).
    EXPECT_NEAR(double(out->frames()), double(ref.size() / std::size_t(out->channels) + std::size_t(shift)),
                3000.0);
    std::remove(wav.c_str());
  }
}

// The player's thread may or may not have asked for the stream before the stop comes: either way
// the track ends at once, without audio or an error.
TEST(AudioStreamer, StopRightAfterStartEndsInIdleWithoutPlaying) {
  Served s("null", "cbr.mp3");
  s.player.start();
  s.player.stop();
  ASSERT_TRUE(s.run.waitForIdle());
  const auto& seen = s.run.seen;
  EXPECT_EQ(seen.front(), S::StartingThread);
  EXPECT_EQ(std::vector<S>(seen.end() - 2, seen.end()), (std::vector<S>{S::Stopped, S::Idle}));
  EXPECT_EQ(test::count(s.log.transitions(), S::Playing), 0);
  EXPECT_EQ(s.player.errorCode(), StreamerError::None);
  EXPECT_EQ(s.player.stopReason(), StopReason::UserAction);
}

TEST(AudioStreamer, PauseResumeAndStartWhilePaused) {
  Served s("null:realtime", "cbr.mp3");
  auto [player, run] = std::tie(s.player, s.run);
  player.start();
  ASSERT_TRUE(run.waitFor([&] { return player.isPlaying() && player.progress() > 0.2; }));
  player.pause();
  EXPECT_TRUE(player.isPaused());
  const double at = player.progress();
  // Paused: the clock holds once the fade-out is written, which may wait until the real-time sink
  // lets the writer through again (at most 0.18 s). A second player on the same kind of sink is
  // the yardstick: while it plays a second, a clock that went on would pass 0.3 s.
  constexpr double kHeardAfterPause = 0.3;
  Served yardstick("null:realtime", "cbr.mp3");
  yardstick.player.start();
  ASSERT_TRUE(yardstick.run.waitFor([&] { return yardstick.player.progress() > 1.0; }));
  EXPECT_LE(player.progress(), at + kHeardAfterPause);
  yardstick.player.stop();
  player.pause();  // resumes
  EXPECT_TRUE(player.isPlaying());
  ASSERT_TRUE(run.waitFor([&] { return player.progress() > at + kHeardAfterPause + 0.2; }));
  player.pause();
  ASSERT_TRUE(player.isPaused());
  player.start();  // start while paused resumes too
  EXPECT_TRUE(player.isPlaying());
  player.start();  // and does nothing while playing
  EXPECT_TRUE(player.isPlaying());
  player.stop();
  ASSERT_TRUE(run.waitForIdle());
  EXPECT_EQ(player.stopReason(), StopReason::UserAction);
  EXPECT_EQ(player.errorCode(), StreamerError::None);
}

TEST(AudioStreamer, WithoutContentLengthSeeksAreDroppedAndNoRangeIsAsked) {
  // A stream without an information frame: nothing but "Content-Length" could give the length.
  Served s("null:realtime", "noinfo.mp3", {.contentLength = false});
  auto [server, player, run] = std::tie(s.server, s.player, s.run);
  player.start();
  ASSERT_TRUE(run.waitFor([&] { return player.isPlaying(); }));
  EXPECT_EQ(player.duration(), 0.0);
  player.seekToTime(4.0);
  ASSERT_TRUE(run.waitFor([&] { return player.progress() > 0.5; }));
  EXPECT_LT(player.progress(), 3.0);
  player.stop();
  ASSERT_TRUE(run.waitForIdle());
  EXPECT_EQ(server.ranges(), std::vector<std::string>{""});
}

TEST(AudioStreamer, SeekAsksForTheComputedRangeAndProgressGoesOnFromTheTarget) {
  Served s("null:realtime", "cbr.mp3");
  auto [server, player, run] = std::tie(s.server, s.player, s.run);
  const auto& bytes = server.bytes();
  player.start();
  ASSERT_TRUE(run.waitFor([&] { return player.isPlaying(); }));
  EXPECT_EQ(player.bitRate(), 0xFFFFFFFFu);
  EXPECT_GT(player.progress(), -1.0);
  ASSERT_TRUE(run.waitFor([&] { return player.duration() > 0; }));
  const double duration = player.duration();
  EXPECT_NEAR(duration, 6.0, 0.1);
  const double target = 3.0;
  const std::int64_t dataOffset = test::id3Size(bytes);
  const std::int64_t length = std::int64_t(bytes.size());
  const std::int64_t expected = dataOffset + std::int64_t(target / duration * double(length - dataOffset));
  player.seekToTime(target);
  ASSERT_TRUE(run.waitFor([&] { return server.ranges().size() == 2; }));
  EXPECT_EQ(server.ranges()[1], "bytes=" + std::to_string(expected) + "-" + std::to_string(length - 1));
  EXPECT_EQ(player.stopReason(), StopReason::Temporary);
  ASSERT_TRUE(run.waitFor([&] { return player.isPlaying() && player.progress() > target + 0.1; }));
  EXPECT_LT(player.progress(), target + 1.5);
  player.stop();
  ASSERT_TRUE(run.waitForIdle());
  EXPECT_EQ(test::count(s.log.transitions(), S::Idle), 1);
}

// A track shorter than the start count (here 0.25 s) starts playing from FlushingAtEnd. While the
// queue plays out the last buffers the position keeps moving: the readout and the lyrics must not
// stop short of the end.
TEST(AudioStreamer, ATrackShorterThanTheStartCountPlaysFromFlushingAtEndWithItsPositionMoving) {
  const std::string wav = test::tempPath("short.wav");
  {
    Served s("wav:" + wav + ":realtime", "short.mp3");
    auto [player, run] = std::tie(s.player, s.run);
    player.start();
    double lastWhileStopping = -1;
    ASSERT_TRUE(run.waitFor([&] {
      if (player.state() == S::Stopping) lastWhileStopping = player.progress();
      return !run.seen.empty() && run.seen.back() == S::Idle;
    }));
    EXPECT_GT(lastWhileStopping, 0.05);  // frozen, it stays at 0
    EXPECT_EQ(player.errorCode(), StreamerError::None);
    const auto t = s.log.transitions();
    ASSERT_EQ(test::count(t, S::FlushingAtEnd), 1);
    const auto flushing = std::find(t.begin(), t.end(), S::FlushingAtEnd);
    EXPECT_EQ(
        std::vector<S>(t.begin(), flushing + 2),
        (std::vector<S>{S::StartingThread, S::WaitingForData, S::FlushingAtEnd, S::WaitingForQueueStart}));
  }
  const auto out = test::readWav(wav);
  ASSERT_TRUE(out);
  EXPECT_GE(out->frames(), test::readPcm(test::fixturePath("short.raw")).size() / 2);
  std::remove(wav.c_str());
}

TEST(AudioStreamer, TypeHints) {
  const std::pair<const char*, std::uint32_t> mimes[] = {
      {"audio/mpeg", fourcc("MPG3")},
      {"audio/x-wav", fourcc("WAVE")},
      {"audio/x-aiff", fourcc("AIFF")},
      {"audio/x-m4a", fourcc("m4af")},
      {"audio/mp4", fourcc("mp4f")},
      {"audio/x-caf", fourcc("caff")},
      {"audio/aac", fourcc("adts")},
      {"audio/aacp", fourcc("adts")},
      {"audio/x-pur", 1979},
      {"", fourcc("MPG3")},
      {"Audio/AAC; rate=44100", fourcc("adts")},
      {" audio/X-PUR ", 1979},
  };
  for (const auto& [mime, code] : mimes) EXPECT_EQ(AudioStreamer::hintForMIMEType(mime), code) << mime;
  const std::pair<const char*, std::uint32_t> extensions[] = {
      {"mp3", fourcc("MPG3")}, {"wav", fourcc("WAVE")}, {"aifc", fourcc("AIFC")}, {"aiff", fourcc("AIFF")},
      {"m4a", fourcc("m4af")}, {"mp4", fourcc("mp4f")}, {"caf", fourcc("caff")},  {"aac", fourcc("adts")},
      {"pur", 1979},           {"ogg", fourcc("MPG3")},
  };
  for (const auto& [ext, code] : extensions) EXPECT_EQ(AudioStreamer::hintForFileExtension(ext), code) << ext;
  EXPECT_EQ(AudioStreamer::stringForErrorCode(1), "Network connection failed");
  EXPECT_EQ(AudioStreamer::stringForErrorCode(-1), "Audio playback failed");
}

TEST(AudioStreamerSeek, ASeekAskedRightAfterTheStartIsCarriedOutOnceTheBitRateIsKnown) {
  Served s("null:realtime", "cbr.mp3");
  auto [server, player, run] = std::tie(s.server, s.player, s.run);
  const auto& bytes = server.bytes();
  player.start();
  const double target = 4.0;
  player.seekToTime(target);  // long before 50 packets have been counted
  ASSERT_TRUE(run.waitFor([&] { return server.ranges().size() == 2; }));
  const std::string range = server.ranges()[1];
  ASSERT_EQ(range.rfind("bytes=", 0), 0u) << range;
  const std::int64_t from = std::strtoll(range.c_str() + 6, nullptr, 10);
  const double share =
      double(from - test::id3Size(bytes)) / double(std::int64_t(bytes.size()) - test::id3Size(bytes));
  EXPECT_NEAR(share * 6.0, target, 0.3);
  ASSERT_TRUE(run.waitFor([&] { return player.isPlaying() && player.progress() > target; }));
  EXPECT_LT(player.progress(), target + 1.5);
  ASSERT_TRUE(run.waitForIdle());
  EXPECT_EQ(player.errorCode(), StreamerError::None);
}

// Streams of exactly N frames of the tag-less MP3, cut at frame boundaries.
TEST(AudioStreamerSeek, TheBitRateIsEstimatedOnceMoreThanFiftyPacketsWereCounted) {
  const auto whole = test::readBytes(test::fixturePath("noinfo.mp3"));
  for (const std::size_t frames : {50u, 51u}) {
    SCOPED_TRACE(frames);
    std::size_t end = std::size_t(test::id3Size(whole));
    for (std::size_t n = 0; n < frames; ++n) end += Mp3FrameHeader::parse(whole.data() + end)->frameBytes;
    Served s("null:realtime", std::vector<std::uint8_t>(whole.begin(), whole.begin() + std::ptrdiff_t(end)));
    auto [player, run] = std::tie(s.player, s.run);
    player.start();
    double rate = 0;
    ASSERT_TRUE(run.waitFor([&] {
      rate = std::max(rate, player.calculatedBitRate());
      return !run.seen.empty() && run.seen.back() == S::Idle;
    }));
    if (frames > 50) {
      EXPECT_NEAR(rate, 128000, 2000);
    } else {
      EXPECT_EQ(rate, 0.0);
    }
  }
}

TEST(HeldInput, HeadFromMemoryAndTheRestFromTheNextByteSoundAsTheWholeTrack) {
  const auto bytes = test::readBytes(test::fixturePath("cbr.mp3"));
  const auto ref = test::readPcm(test::fixturePath("cbr.raw"));
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
      AudioStreamer player(makeHeldInput(std::make_shared<const HeldStream>(std::move(*head))));
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

using namespace std::chrono_literals;

// The connection cut at 40 % of the bytes, then every request refused for a while: within the limit
// the track goes on at the next byte (from the start without a length), past it it fails with
// error 1; either way the player is Idle once, at the end.
struct Outage {
  const char* name;
  bool pure;
  bool contentLength;
  std::chrono::milliseconds refuseFor;
  std::chrono::milliseconds limit;  // the player's outage limit
};

struct Heard {
  test::Pcm pcm;
  StreamerError error = StreamerError::None;
  std::vector<S> transitions;
};

Heard play(test::MediaServer& server, const std::string& tag, StreamerOptions options = {}) {
  const std::string wav = test::tempPath(tag + ".wav");
  test::useSink("wav:" + wav);
  Heard heard;
  {
    test::StateLog log;
    AudioStreamer player(server.url(), log.options(std::move(options)));
    test::PlayerRun run(player);
    player.start();
    EXPECT_TRUE(run.waitForIdle(std::chrono::seconds(60)));
    heard.error = player.errorCode();
    heard.transitions = log.transitions();
  }
  if (auto pcm = test::readWav(wav)) heard.pcm = std::move(*pcm);
  std::remove(wav.c_str());
  return heard;
}

class AudioStreamerOutage : public ::testing::TestWithParam<Outage> {};

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
  test::MediaServer server(bytes, options);
  StreamerOptions limited;
  limited.outageLimit = o.limit;
  const Heard heard = play(server, o.name, limited);

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
    // Started over: the output ends with the whole track again, apart from the decoder's first
    // frame after the restart, which still overlaps the audio before the cut.
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

}  // namespace
}  // namespace tonvera
