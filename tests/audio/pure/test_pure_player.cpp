// PURE through the stream player over loopback HTTP and the file player, into the WAV sink: output,
// reads cut anywhere, seeking by frames, refused and truncated streams, file URLs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "audio/audiofiler.h"
#include "audio/audiostreamer.h"
#include "audio/g719/purecodec.h"
#include "g719_test_util.h"
#include "media_server.h"
#include "player_run.h"
#include "pure_test_util.h"

namespace tonvera {
namespace {

using S = StreamerState;

// The fade-in ramps the first 100 ms of audio: 5 frames of 20 ms. A track that short is all fade.
constexpr long kMaxFadedFrames = 5;

struct Played {
  StreamerError error = StreamerError::None;
  std::vector<S> seen;
  std::vector<std::int16_t> pcm;
};

Played playToEnd(AudioStreamer& player, const std::string& wav) {
  Played p;
  test::PlayerRun run(player);
  player.start();
  EXPECT_TRUE(run.waitForIdle(std::chrono::seconds(20))) << "not idle: now " << streamerStateName(player.state());
  p.error = player.errorCode();
  p.seen = run.seen;
  p.pcm = test::wavSamples(wav);
  return p;
}

// Output equal to the expected decode apart from the fade-in, and exactly as long.
void expectAfterFade(const std::vector<std::int16_t>& expected, const std::vector<std::int16_t>& out) {
  ASSERT_EQ(out.size(), expected.size());
  const long from = test::firstExactFrameToTheEnd(expected, out);
  if (long(out.size() / kPureFramePcmSamples) <= kMaxFadedFrames) return;
  EXPECT_GE(from, 0);
  EXPECT_LE(from, kMaxFadedFrames);
}

test::MediaOptions pureStream() { return {.contentType = "audio/x-pur"}; }

enum class Via { Http, File };
const char* viaName(Via via) { return via == Via::Http ? "http" : "file"; }

// A player of `bytes` over HTTP or from a file, and the byte offsets its seeks read from.
struct SeekablePlayer {
  SeekablePlayer(Via via, const std::vector<std::uint8_t>& bytes, test::MediaOptions options = pureStream()) {
    if (via == Via::Http) {
      server = std::make_unique<test::MediaServer>(bytes, options);
      player = std::make_unique<AudioStreamer>(server->url(), log.options());
    } else {
      path = test::writeBytes(test::tempPath("seek.pur"), bytes);
      player = std::make_unique<AudioStreamer>(offsets.wrap(makeFileInput(AudioFiler::fileUrlFor(path))),
                                               log.options());
    }
    log.player = player.get();
  }
  ~SeekablePlayer() {
    player.reset();
    if (!path.empty()) std::remove(path.c_str());
  }
  std::vector<std::int64_t> seekOffsets() {
    if (!server) return offsets.seekOffsets();
    std::vector<std::int64_t> offsets;
    const auto ranges = server->ranges();
    for (std::size_t i = 1; i < ranges.size(); ++i) offsets.push_back(std::stoll(ranges[i].substr(6)));
    return offsets;
  }

  std::unique_ptr<test::MediaServer> server;
  std::string path;
  test::OffsetLog offsets;
  test::StateLog log;
  std::unique_ptr<AudioStreamer> player;
};

Played playBytes(Via via, const std::vector<std::uint8_t>& bytes, const std::string& tag,
                 test::MediaOptions options = pureStream()) {
  const std::string wav = test::tempPath(tag + ".wav");
  std::remove(wav.c_str());
  test::useSink("wav:" + wav);
  const Played p = playToEnd(*SeekablePlayer(via, bytes, options).player, wav);
  std::remove(wav.c_str());
  return p;
}

// Reads return what has arrived: the header and the frames arrive cut anywhere (the first write
// inside the header), and the output is that of the unsplit stream at every rate and length.
TEST(PurePlayer, EveryPublicFileInRandomChunksOverHttpGivesTheUnsplitOutput) {
  test::MediaOptions options = pureStream();
  options.minChunk = 1;
  options.chunk = 2048;
  options.firstChunk = 7;
  options.firstPause = std::chrono::milliseconds(30);
  options.pause = std::chrono::microseconds(300);
  for (const auto& file : test::publicPureFiles()) {
    SCOPED_TRACE(file.name);
    const auto bytes = test::readBytes(test::purePath(file.name));
    const Played p = playBytes(Via::Http, bytes, file.name, options);
    EXPECT_EQ(p.error, StreamerError::None);
    expectAfterFade(test::decodeWhole(bytes), p.pcm);
  }
}

// A stream that stops inside a frame plays its whole frames and nothing else (no stale buffer is
// played again at the end).
TEST(PurePlayer, CutOrRefusedStreamsPlayTheirWholeFramesOrEndWithErrorSeven) {
  constexpr std::size_t kRefused = 0;
  const auto good = test::readBytes(test::purePath("zh_castanets_r64"));
  const auto whole = test::decodeWhole(good);
  auto cut = [&](std::size_t n) { return std::vector<std::uint8_t>(good.begin(), good.begin() + long(n)); };
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
    std::size_t frames;  // played, or kRefused
  } cases[] = {
      {"version 15", test::readBytes(test::purePath("badversion_r64")), kRefused},
      {"cut inside the header", cut(10), kRefused},
      {"header only", cut(16), kRefused},
      {"cut inside the first frame", cut(16 + 200), kRefused},
      {"cut inside frame 2", cut(16 + 324 + 150), 1},
      {"cut inside frame 41", cut(16 + 324 * 40 + 150), 40},
  };
  for (const Via via : {Via::Http, Via::File}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(viaName(via)) + ": " + c.name);
      const Played p = playBytes(via, c.bytes, "cut");
      if (c.frames == kRefused) {
        EXPECT_EQ(p.error, StreamerError::AudioDataNotFound);
        EXPECT_EQ(test::count(p.seen, S::Playing), 0);
        EXPECT_TRUE(p.pcm.empty());
      } else {
        EXPECT_EQ(p.error, StreamerError::None);
        expectAfterFade(test::stereoFrames(whole, 0, c.frames), p.pcm);
      }
    }
  }
}

TEST(PureFiler, AFileUrlOrPathPlaysToTheEndAndAMissingFileIsErrorSeven) {
  const auto bytes = test::readBytes(test::purePath("en_enquiet_r64"));
  const std::string dir = test::tempPath("dir with space");
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/en enquiet%41.pur";
  std::filesystem::copy_file(test::purePath("en_enquiet_r64"), path,
                             std::filesystem::copy_options::overwrite_existing);
  const std::string url = AudioFiler::fileUrlFor(path);
  EXPECT_EQ(AudioFiler::localPathOf(url), path);
  const std::string wav = test::tempPath("fileurl.wav");
  test::useSink("wav:" + wav);
  auto made = AudioFiler::create(path);
  AudioStreamer& player = *made;
  EXPECT_EQ(player.url(), url);  // a plain path is played as its file URL
  const Played p = playToEnd(player, wav);
  EXPECT_EQ(p.error, StreamerError::None);
  EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
  EXPECT_EQ(player.duration(), 2.0);
  EXPECT_EQ(player.calculatedBitRate(), 1536000.0);
  expectAfterFade(test::decodeWhole(bytes), p.pcm);
  std::remove(wav.c_str());
  std::filesystem::remove_all(dir);
  test::useSink("null");
  auto missing = AudioFiler::create(AudioFiler::fileUrlFor(test::tempPath("nothing-here.pur")));
  EXPECT_EQ(playToEnd(*missing, "").error, StreamerError::AudioDataNotFound);
}

TEST(PureFiler, TellsFilesFromStreams) {
  const struct {
    const char* text;
    bool file;
  } cases[] = {
      {"/a/b.pur", true}, {"b.pur", true}, {"./x:y.pur", true}, {"http://h/x", false}, {"file:b.pur", true}};
  for (const auto& c : cases) EXPECT_EQ(AudioFiler::namesLocalFile(c.text), c.file) << c.text;
  EXPECT_EQ(AudioFiler::localPathOf("http://h/x.pur"), "");
  EXPECT_EQ(AudioFiler::localPathOf("file:///tmp/a%20b.pur"), "/tmp/a b.pur");
}

// A 6 s stream at rate R whose frames never repeat within it (three vectors one after another).
std::vector<std::uint8_t> longStream(int rate) {
  const std::string r = "_r" + std::to_string(rate);
  if (rate == 64) {
    return test::buildPure(64, {"speech_en" + r, "chord" + r, "castanets" + r},
                           {"chord" + r, "castanets" + r, "speech_zh" + r}, 300, 9);
  }
  return test::buildPure(rate, {"speech_en" + r, "sweep" + r, "noise_low" + r},
                         {"sweep" + r, "noise_low" + r, "speech_en" + r}, 300, 9);
}

struct SeekCase {
  const char* name;
  Via via;
  int rate;
};
void PrintTo(const SeekCase& c, std::ostream* os) { *os << c.name; }
class PureSeek : public ::testing::TestWithParam<SeekCase> {};

// After the fade-in (which starts with the frame of the target's whole second) the frames are those
// of the unsplit decode.
TEST_P(PureSeek, ReadsFromTheFrameOfTheWholeSecondAndProgressGoesOnFromTheTarget) {
  const SeekCase& c = GetParam();
  const auto bytes = longStream(c.rate);
  const std::string wav = test::tempPath("seek.wav");
  test::useSink("wav:" + wav + ":realtime");
  {
    SeekablePlayer under(c.via, bytes);
    AudioStreamer& player = *under.player;
    test::PlayerRun run(player);
    player.start();
    ASSERT_TRUE(run.waitFor([&] { return player.isPlaying(); }));
    EXPECT_EQ(player.duration(), 6.0);
    player.seekToTime(3.9);
    ASSERT_TRUE(run.waitFor([&] { return !under.seekOffsets().empty() && player.isPlaying(); }));
    const double progress = under.log.positionAtPlayingAfter(StreamerState::Stopping);
    EXPECT_GE(progress, 3.9);
    EXPECT_LT(progress, 4.2);
    EXPECT_EQ(under.seekOffsets(), std::vector<std::int64_t>{16 + (5 * c.rate + 4) * 50 * 3});
    ASSERT_TRUE(run.waitFor([&] { return player.progress() > 4.3; }));
    player.stop();
    ASSERT_TRUE(run.waitForIdle());
    EXPECT_EQ(player.errorCode(), StreamerError::None);
  }
  const auto whole = test::decodeWhole(bytes);
  const auto out = test::wavSamples(wav);
  const std::size_t firstExact = 150 + kMaxFadedFrames;
  auto contains = [&](const std::vector<std::int16_t>& part) {
    return std::search(out.begin(), out.end(), part.begin(), part.end()) != out.end();
  };
  EXPECT_TRUE(contains(test::stereoFrames(whole, firstExact, 5)))
      << "frames " << firstExact << ".. not found after the seek";
  EXPECT_FALSE(contains(test::stereoFrames(whole, 145, 3))) << "audio from before the target";
  std::remove(wav.c_str());
}

INSTANTIATE_TEST_SUITE_P(Players, PureSeek,
                         ::testing::Values(SeekCase{"http_r64", Via::Http, 64},
                                           SeekCase{"http_r32", Via::Http, 32},
                                           SeekCase{"file_r64", Via::File, 64}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PurePlayer, SeekBeforeTheStartReadsFromTheFirstFrame) {
  test::useSink("null:realtime");
  SeekablePlayer under(Via::Http, longStream(64));
  AudioStreamer& player = *under.player;
  test::PlayerRun run(player);
  player.start();
  ASSERT_TRUE(run.waitFor([&] { return player.isPlaying(); }));
  player.seekToTime(-2.0);
  ASSERT_TRUE(run.waitFor([&] { return !under.seekOffsets().empty(); }));
  EXPECT_EQ(under.seekOffsets(), std::vector<std::int64_t>{16});
  player.stop();
  ASSERT_TRUE(run.waitForIdle());
}

// A seek to the very end (or past it): nothing beyond the stream is requested or decoded.
TEST(PurePlayer, SeekToTheEndPlaysTheLastFrame) {
  const auto bytes = longStream(64);
  for (const Via via : {Via::Http, Via::File}) {
    for (const double target : {6.0, 9.5}) {
      SCOPED_TRACE(std::string(viaName(via)) + " " + std::to_string(target));
      test::useSink("null:realtime");
      SeekablePlayer under(via, bytes);
      AudioStreamer& player = *under.player;
      test::PlayerRun run(player);
      player.start();
      ASSERT_TRUE(run.waitFor([&] { return player.isPlaying(); }));
      player.seekToTime(target);
      ASSERT_TRUE(run.waitForIdle());
      EXPECT_EQ(player.errorCode(), StreamerError::None);
      EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
      EXPECT_EQ(under.seekOffsets(), std::vector<std::int64_t>{16 + 324 * 299});
    }
  }
}

}  // namespace
}  // namespace tonvera
