// PURE through the players: AudioStreamer over loopback HTTP ("audio/x-pur") and AudioFiler on
// local files, with the WAV sink. Output against the references and the library's decode, reads
// cut anywhere, seeking by frames, refused and truncated streams, and file URLs.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "audio/audiofiler.h"
#include "audio/audiostreamer.h"
#include "audio/purecodec.h"
#include "g719_test_util.h"
#include "player_run.h"
#include "media_server.h"
#include "pure_test_util.h"

namespace tonvera {
namespace {

using S = StreamerState;
using std::chrono::milliseconds;

// The fade-in ramps the first 100 ms of audio: 5 frames of 20 ms. A track that short is all fade.
constexpr long kMaxFadedFrames = 5;

// A file player that records where every seek put the read position.
class ProbeFiler : public AudioFiler {
 public:
  using AudioFiler::AudioFiler;
  ~ProbeFiler() override { shutdown(); }
  std::vector<std::int64_t> seekOffsets() {
    std::lock_guard guard(lock_);
    return offsets_;
  }

 protected:
  void internalSeekToTime(double seconds) override {
    AudioFiler::internalSeekToTime(seconds);
    std::lock_guard guard(lock_);
    offsets_.push_back(seekByteOffset_);
  }

 private:
  std::vector<std::int64_t> offsets_;  // guarded by lock_
};

std::string writeTemp(const std::string& name, const std::vector<std::uint8_t>& bytes) {
  const std::string path = test::tempPath(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

struct Played {
  StreamerError error = StreamerError::None;
  std::vector<S> seen;
  std::vector<std::int16_t> pcm;
  bool idle = false;
};

// Plays `player` to its end into a WAV file and collects what came out.
Played playToEnd(AudioStreamer& player, const std::string& wav) {
  Played p;
  test::PlayerRun run(player);
  player.start();
  p.idle = run.waitForIdle(std::chrono::seconds(20));
  if (!p.idle) {
    std::string states;
    for (const S s : run.seen) states += std::string(streamerStateName(s)) + " ";
    ADD_FAILURE() << "not idle; states seen: " << states << "now " << streamerStateName(player.state());
  }
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

// A PURE stream served in 4 KiB writes.
test::MediaOptions pureStream() {
  test::MediaOptions options;
  options.contentType = "audio/x-pur";
  return options;
}

enum class Via { Http, File };
const char* viaName(Via via) { return via == Via::Http ? "http" : "file"; }

// Plays `bytes` through the stream player (served over HTTP) or the file player.
Played playBytes(Via via, const std::vector<std::uint8_t>& bytes, const std::string& tag,
                 test::MediaOptions options = pureStream()) {
  const std::string wav = test::tempPath(tag + ".wav");
  std::remove(wav.c_str());
  test::useSink("wav:" + wav);
  Played p;
  if (via == Via::Http) {
    test::MediaServer server(bytes, options);
    AudioStreamer player(server.url());
    p = playToEnd(player, wav);
  } else {
    const std::string path = writeTemp(tag + ".pur", bytes);
    AudioFiler player(AudioFiler::fileUrlFor(path));
    p = playToEnd(player, wav);
    std::remove(path.c_str());
  }
  std::remove(wav.c_str());
  return p;
}

TEST(PurePlayer, EveryPublicFileOverHttpMatchesItsReference) {
  for (const auto& file : test::publicPureFiles()) {
    SCOPED_TRACE(file.name);
    const auto bytes = test::readBytes(test::purePath(file.name));
    const Played p = playBytes(Via::Http, bytes, file.name);
    EXPECT_TRUE(p.idle);
    EXPECT_EQ(p.error, StreamerError::None);
    const auto expected = test::decodeWhole(bytes);
    ASSERT_EQ(p.pcm.size(), expected.size());
    if (file.frames <= kMaxFadedFrames) continue;
    const long from = test::firstExactFrameToTheEnd(expected, p.pcm);
    ASSERT_GE(from, 0);
    ASSERT_LE(from, kMaxFadedFrames);
    // After the fade the player's audio is the reference's within the strict rule.
    const auto ref = test::readPcm(test::pureRefPath(file.name));
    const std::size_t n = static_cast<std::size_t>(file.frames) - static_cast<std::size_t>(from);
    EXPECT_EQ(test::strictStereoMismatch(test::stereoFrames(ref, std::size_t(from), n),
                                         test::stereoFrames(p.pcm, std::size_t(from), n)),
              "");
  }
}

// Reads return what has arrived: frames and the header itself arrive cut anywhere, and the output
// is that of the unsplit stream.
TEST(PurePlayer, RandomChunksOverHttpGiveTheUnsplitOutput) {
  const struct {
    const char* name;
    std::size_t firstChunk;
    unsigned seed;
  } cases[] = {{"sweep_noisefull_r128", 7, 4}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto bytes = test::readBytes(test::purePath(c.name));
    test::MediaOptions options = pureStream();
    options.minChunk = 1;
    options.chunk = 2048;
    options.seed = c.seed;
    options.firstChunk = c.firstChunk;
    options.firstPause = milliseconds(30);
    options.pause = std::chrono::microseconds(300);
    const Played p = playBytes(Via::Http, bytes, c.name, options);
    EXPECT_TRUE(p.idle);
    EXPECT_EQ(p.error, StreamerError::None);
    expectAfterFade(test::decodeWhole(bytes), p.pcm);
  }
}

// A connection lost inside a frame is asked for again from the first byte not yet read (the
// header and every chunk counted): the held partial frame is completed by the new reply, and no
// frame is lost or played twice.
TEST(PurePlayer, AReconnectionContinuesAtTheFirstUnreadByte) {
  const auto bytes = test::readBytes(test::purePath("en_chord_r64"));
  const std::int64_t drop = 16 + 324 * 40 + 100;
  const std::string wav = test::tempPath("reconnect.wav");
  test::useSink("wav:" + wav);
  test::MediaOptions options = pureStream();
  options.dropAfter = drop;
  options.minChunk = 1;
  options.chunk = 700;
  options.pause = std::chrono::microseconds(200);
  test::MediaServer server(bytes, options);
  {
    AudioStreamer player(server.url());
    const Played p = playToEnd(player, wav);
    EXPECT_TRUE(p.idle);
    EXPECT_EQ(p.error, StreamerError::None);
    ASSERT_EQ(server.ranges().size(), 2u);
    EXPECT_EQ(server.ranges()[1], "bytes=" + std::to_string(drop) + "-" + std::to_string(bytes.size() - 1));
    // The pause and resume around the reopening fade the audio; the frames after it are exact.
    const auto expected = test::decodeWhole(bytes);
    ASSERT_EQ(p.pcm.size(), expected.size());
    const long from = test::firstExactFrameToTheEnd(expected, p.pcm);
    EXPECT_GE(from, 0);
    EXPECT_LE(from, 80);
  }
  std::remove(wav.c_str());
}

// Without "Content-Length" a lost connection is asked for again from the start, header included:
// the header is read again (not framed as audio) and the track plays again from its beginning.
TEST(PurePlayer, AReconnectionWithoutALengthStartsOverWithTheHeader) {
  const auto bytes = test::readBytes(test::purePath("en_chord_r64"));
  const std::string wav = test::tempPath("restart.wav");
  test::useSink("wav:" + wav);
  test::MediaOptions options = pureStream();
  options.contentLength = false;
  options.dropAfter = 16 + 324 * 30 + 50;
  options.pause = std::chrono::microseconds(200);
  test::MediaServer server(bytes, options);
  {
    AudioStreamer player(server.url());
    const Played p = playToEnd(player, wav);
    EXPECT_TRUE(p.idle);
    EXPECT_EQ(p.error, StreamerError::None);
    EXPECT_EQ(server.ranges(), (std::vector<std::string>{"", ""}));
    // The second reply decodes from a fresh state, exactly as the whole file does.
    const auto expected = test::decodeWhole(bytes);
    ASSERT_GE(p.pcm.size(), expected.size());
    const std::vector<std::int16_t> tail(p.pcm.end() - static_cast<std::ptrdiff_t>(expected.size()),
                                         p.pcm.end());
    const long from = test::firstExactFrameToTheEnd(expected, tail);
    EXPECT_GE(from, 0);
    EXPECT_LE(from, 40);
  }
  std::remove(wav.c_str());
}

TEST(PurePlayer, RefusedHeadersAndStreamsWithoutAFrameEndWithErrorSeven) {
  const auto good = test::readBytes(test::purePath("en_chord_r64"));
  auto withByte = [&](std::size_t at, std::uint8_t value) {
    auto b = good;
    b[at] = value;
    return b;
  };
  const struct {
    const char* name;
    std::vector<std::uint8_t> bytes;
  } cases[] = {
      {"version 15", test::readBytes(test::purePath("badversion_r64"))},
      {"rate 0", withByte(5, 0)},
      {"rate 200", withByte(5, 200)},
      {"no magic", withByte(1, 'u')},
      {"cut inside the header", {good.begin(), good.begin() + 10}},
      {"header only", {good.begin(), good.begin() + 16}},
      {"cut inside the first frame", {good.begin(), good.begin() + 16 + 200}},
  };
  for (const Via via : {Via::Http, Via::File}) {
    for (const auto& c : cases) {
      SCOPED_TRACE(std::string(viaName(via)) + ": " + c.name);
      const Played p = playBytes(via, c.bytes, "refused");
      EXPECT_TRUE(p.idle);
      EXPECT_EQ(p.error, StreamerError::AudioDataNotFound);
      EXPECT_EQ(test::count(p.seen, S::Playing), 0);
      EXPECT_TRUE(p.pcm.empty());
    }
  }
}

// A stream that stops inside a frame plays its whole frames and nothing else: the partial frame
// is dropped, and no stale buffer is played again at the end.
TEST(PurePlayer, StreamsEndingInsideAFramePlayTheirWholeFrames) {
  const auto full = test::readBytes(test::purePath("zh_castanets_r64"));
  const auto whole = test::decodeWhole(full);
  for (const Via via : {Via::Http, Via::File}) {
    for (const std::size_t frames : {40u, 5u, 1u}) {
      SCOPED_TRACE(std::string(viaName(via)) + ": " + std::to_string(frames) + " frames");
      const std::vector<std::uint8_t> cut(full.begin(), full.begin() + 16 + 324 * frames + 150);
      const Played p = playBytes(via, cut, "cut");
      EXPECT_TRUE(p.idle);
      EXPECT_EQ(p.error, StreamerError::None);
      expectAfterFade(test::stereoFrames(whole, 0, frames), p.pcm);
    }
  }
}

TEST(PureFiler, AFileUrlPlaysToTheEndWithoutError) {
  const auto bytes = test::readBytes(test::purePath("en_enquiet_r64"));
  const std::string dir = test::tempPath("dir with space");
  std::filesystem::create_directories(dir);
  const std::string path = dir + "/en enquiet%41.pur";
  std::filesystem::copy_file(test::purePath("en_enquiet_r64"), path,
                             std::filesystem::copy_options::overwrite_existing);
  const std::string url = AudioFiler::fileUrlFor(path);
  EXPECT_EQ(url.rfind("file:///", 0), 0u);
  EXPECT_NE(url.find("%20"), std::string::npos);
  EXPECT_EQ(AudioFiler::localPathOf(url), path);
  for (const std::string& given : {url, path}) {
    SCOPED_TRACE(given);
    const std::string wav = test::tempPath("fileurl.wav");
    test::useSink("wav:" + wav);
    AudioFiler player(given);
    EXPECT_EQ(player.url(), url);  // a plain path is played as its file URL
    const Played p = playToEnd(player, wav);
    EXPECT_TRUE(p.idle);
    EXPECT_EQ(p.error, StreamerError::None);
    EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
    EXPECT_EQ(player.duration(), 2.0);
    EXPECT_EQ(player.calculatedBitRate(), 1536000.0);
    expectAfterFade(test::decodeWhole(bytes), p.pcm);
    std::remove(wav.c_str());
  }
  std::filesystem::remove_all(dir);
}

TEST(PureFiler, AMissingFileEndsWithErrorSeven) {
  AudioFiler player(AudioFiler::fileUrlFor(test::tempPath("nothing-here.pur")));
  test::useSink("null");
  test::PlayerRun run(player);
  player.start();
  ASSERT_TRUE(run.waitForIdle());
  EXPECT_EQ(player.errorCode(), StreamerError::AudioDataNotFound);
}

TEST(PureFiler, TellsFilesFromStreams) {
  const struct {
    const char* text;
    bool file;
  } cases[] = {{"file:///a/b.pur", true}, {"/a/b.pur", true},     {"b.pur", true},      {"./x:y.pur", true},
               {"http://h/x", false},     {"https://h/x", false}, {"ftp://h/x", false}, {"file:b.pur", true}};
  for (const auto& c : cases) EXPECT_EQ(AudioFiler::namesLocalFile(c.text), c.file) << c.text;
  EXPECT_EQ(AudioFiler::localPathOf("http://h/x.pur"), "");
  EXPECT_EQ(AudioFiler::localPathOf("file:///tmp/a%20b.pur"), "/tmp/a b.pur");
}

// A 15 s stream at rate R whose frames never repeat within it (three vectors one after another).
std::vector<std::uint8_t> longStream(int rate, int frames) {
  const std::string r = "_r" + std::to_string(rate);
  if (rate == 64) {
    return test::buildPure(64, {"speech_en" + r, "chord" + r, "castanets" + r},
                           {"chord" + r, "castanets" + r, "speech_zh" + r}, frames, 9);
  }
  return test::buildPure(rate, {"speech_en" + r, "sweep" + r, "noise_low" + r},
                         {"sweep" + r, "noise_low" + r, "speech_en" + r}, frames, 9);
}

// After a seek the frames after the fade-in (which starts with the frame of the target's whole
// second) are those of the unsplit decode.
void expectFramesAfterSeek(const std::vector<std::int16_t>& whole, const std::vector<std::int16_t>& out,
                           std::size_t targetFrame) {
  const std::size_t firstExact = targetFrame + kMaxFadedFrames;
  const long at = test::findSamples(out, test::stereoFrames(whole, firstExact, 5));
  EXPECT_GE(at, 0) << "frames " << firstExact << ".. not found after the seek";
  EXPECT_EQ(test::findSamples(out, test::stereoFrames(whole, targetFrame - 5, 3)), -1)
      << "audio from before the target was played";
}

TEST(PurePlayer, HttpSeekAsksForTheFrameOfTheWholeSecondAndProgressGoesOnFromTheTarget) {
  for (const int rate : {64, 32}) {
    SCOPED_TRACE(rate);
    const auto bytes = longStream(rate, 750);
    const std::int64_t frameBytes = 5 * rate + 4;
    const std::string wav = test::tempPath("seek.wav");
    test::useSink("wav:" + wav + ":realtime");
    test::MediaServer server(bytes, pureStream());
    {
      AudioStreamer player(server.url());
      test::PlayerRun run(player);
      player.start();
      ASSERT_TRUE(run.waitFor([&] { return player.isPlaying(); }));
      EXPECT_EQ(player.duration(), 15.0);
      player.seekToTime(12.7);
      ASSERT_TRUE(run.waitFor([&] { return server.ranges().size() == 2 && player.isPlaying(); }));
      const double progress = player.progress();
      EXPECT_GE(progress, 12.7);
      EXPECT_LT(progress, 13.0);
      const std::int64_t from = 16 + frameBytes * 50 * 12;  // 194416 for R = 64
      EXPECT_EQ(server.ranges()[1], "bytes=" + std::to_string(from) + "-" + std::to_string(bytes.size() - 1));
      ASSERT_TRUE(run.waitFor([&] { return player.progress() > 13.1; }));
      EXPECT_LT(player.progress(), 13.6);
      player.stop();
      ASSERT_TRUE(run.waitForIdle());
      EXPECT_EQ(player.errorCode(), StreamerError::None);
    }
    expectFramesAfterSeek(test::decodeWhole(bytes), test::wavSamples(wav), 600);
    std::remove(wav.c_str());
  }
}

TEST(PureFiler, SeekMovesTheFileOffsetToTheWholeSecond) {
  const auto bytes = longStream(64, 300);
  const std::string path = writeTemp("seek.pur", bytes);
  const std::string wav = test::tempPath("fileseek.wav");
  test::useSink("wav:" + wav + ":realtime");
  {
    ProbeFiler player(path);
    test::PlayerRun run(player);
    player.start();
    ASSERT_TRUE(run.waitFor([&] { return player.isPlaying(); }));
    player.seekToTime(3.9);
    ASSERT_TRUE(run.waitFor([&] { return !player.seekOffsets().empty() && player.isPlaying(); }))
        << player.seekOffsets().size() << " seeks, now " << streamerStateName(player.state());
    EXPECT_EQ(player.seekOffsets(), std::vector<std::int64_t>{48616});
    const double progress = player.progress();
    EXPECT_GE(progress, 3.9);
    EXPECT_LT(progress, 4.2);
    ASSERT_TRUE(run.waitFor([&] { return player.progress() > 4.3; }));
    player.stop();
    ASSERT_TRUE(run.waitForIdle());
    EXPECT_EQ(player.errorCode(), StreamerError::None);
  }
  expectFramesAfterSeek(test::decodeWhole(bytes), test::wavSamples(wav), 150);
  std::remove(wav.c_str());
  std::remove(path.c_str());
}

// A seek to the very end (or past it) lands on the last whole frame: the track ends normally, and
// nothing beyond the stream is requested or decoded.
TEST(PurePlayer, SeekToTheEndPlaysTheLastFrame) {
  const auto bytes = longStream(64, 300);
  const std::int64_t lastFrame = 16 + 324 * 299;
  for (const Via via : {Via::Http, Via::File}) {
    for (const double target : {6.0, 9.5}) {
      SCOPED_TRACE(std::string(viaName(via)) + " " + std::to_string(target));
      test::useSink("null:realtime");
      std::unique_ptr<test::MediaServer> server;
      std::string path;
      std::unique_ptr<AudioStreamer> owned;
      ProbeFiler* filer = nullptr;
      if (via == Via::Http) {
        server = std::make_unique<test::MediaServer>(bytes, pureStream());
        owned = std::make_unique<AudioStreamer>(server->url());
      } else {
        path = writeTemp("end.pur", bytes);
        auto probe = std::make_unique<ProbeFiler>(path);
        filer = probe.get();
        owned = std::move(probe);
      }
      AudioStreamer& player = *owned;
      test::PlayerRun run(player);
      player.start();
      ASSERT_TRUE(run.waitFor([&] { return player.isPlaying(); }));
      player.seekToTime(target);
      ASSERT_TRUE(run.waitForIdle());
      EXPECT_EQ(player.errorCode(), StreamerError::None);
      EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
      if (server) {
        ASSERT_EQ(server->ranges().size(), 2u);
        EXPECT_EQ(server->ranges()[1],
                  "bytes=" + std::to_string(lastFrame) + "-" + std::to_string(bytes.size() - 1));
      } else {
        EXPECT_EQ(filer->seekOffsets(), std::vector<std::int64_t>{lastFrame});
        std::remove(path.c_str());
      }
    }
  }
}

}  // namespace
}  // namespace tonvera
