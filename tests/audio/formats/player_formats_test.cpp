// The stream player over loopback HTTP with every content type: its output against ffmpeg's decode,
// the duration, the range of a seek, the level meters, and the failures a file can cause.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "audio/audiostreamer.h"
#include "format_fixtures.h"
#include "main_loop.h"
#include "media_server.h"
#include "player_run.h"

namespace tonvera {
namespace {

using test::Bytes;
using namespace std::chrono_literals;

// The byte offset in the file of the packet at `seconds` of the format the player plays, as the
// parser answers it; -1 when it cannot.
std::int64_t placeOf(const test::FormatCase& c, const Bytes& file, double seconds) {
  std::unique_ptr<AudioFileStream> parser;
  AudioStreamBasicDescription played{};
  if (AudioFileStream::open(
          c.fileType,
          [&](AudioFileStream& s, std::uint32_t id, std::uint32_t*) {
            std::vector<std::uint8_t> v;
            if (id == kAudioFileStreamProperty_DataFormat && s.getProperty(id, &v))
              std::memcpy(&played, v.data(), 40);
            if (id == kAudioFileStreamProperty_FormatList && s.getProperty(id, &v) && v.size() >= 48) {
              AudioFormatListItem first;
              std::memcpy(&first, v.data(), sizeof first);
              if (first.asbd.formatID != kAudioFormatMPEG4AAC) played = first.asbd;
            }
          },
          [](const std::uint8_t*, std::uint32_t, std::uint32_t, const AudioStreamPacketDescription*) {},
          &parser) != 0) {
    return -1;
  }
  parser->parseBytes(file.data(), std::uint32_t(file.size()), false);
  std::vector<std::uint8_t> doff;
  std::int64_t dataOffset = 0, offset = 0;
  std::uint32_t flags = 0;
  if (!parser->getProperty(kAudioFileStreamProperty_DataOffset, &doff) || !played.sampleRate ||
      parser->seek(std::int64_t(std::floor(seconds / (played.framesPerPacket / played.sampleRate))), &offset,
                   &flags) != 0) {
    return -1;
  }
  std::memcpy(&dataOffset, doff.data(), 8);
  return dataOffset + offset;
}

bool waitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s) {
  return runMainLoopUntil(condition, timeout);
}

class PlayerFormatTest : public ::testing::TestWithParam<test::FormatCase> {
 protected:
  void SetUp() override {
    if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
    path_ = test::fixturePath(GetParam());
    ASSERT_FALSE(path_.empty());
    reference_ = test::ffmpegDecode(GetParam());
    ASSERT_GT(reference_.frames(), 0u);
    server_ = std::make_unique<test::MediaServer>(test::readBytes(path_),
                                                  test::MediaOptions{.contentType = GetParam().mime});
  }
  void TearDown() override {
    if (!wav_.empty() && !std::getenv("TONVERA_KEEP_WAV")) std::filesystem::remove(wav_);
  }
  double trueDuration() const { return double(reference_.frames()) / reference_.rate; }

  std::string path_;
  std::string wav_;
  test::Pcm reference_;
  std::unique_ptr<test::MediaServer> server_;
};

TEST_P(PlayerFormatTest, PlaysWhatFfmpegDecodes) {
  wav_ = test::tempPath("formats-play.wav");
  test::useSink("wav:" + wav_);
  AudioStreamer player(server_->url());
  player.start();
  ASSERT_TRUE(waitFor([&] { return player.isIdle(); }, 20s))
      << "state " << streamerStateName(player.state()) << ", error " << int(player.errorCode());
  EXPECT_EQ(player.errorCode(), StreamerError::None);
  EXPECT_EQ(player.stopReason(), StopReason::EndOfStream);
  // Without a fixed number of frames a packet has no duration: the rate stays unknown (0).
  EXPECT_EQ(player.calculatedBitRate() > 0, std::string(GetParam().name) != "caf_alac_varframes");

  const auto ours = test::readWav(wav_);
  ASSERT_TRUE(ours);
  EXPECT_EQ(ours->rate, GetParam().outputRate);
  EXPECT_EQ(ours->channels, GetParam().outputChannels);
  // After the fade-in everything matches within 16-bit rounding (the encoder delay that ffmpeg
  // trims from some containers stays in: `shift`), and nothing is missing at the end.
  const long shift = test::findAlignment(*ours, reference_.samples, 4096, 1);
  ASSERT_GE(shift, 0);
  EXPECT_EQ(test::countMismatches(*ours, reference_.samples, shift, reference_.frames() / 2, 1), 0u);
}

// Plays in real time: one format of each container and kind of packet (constant and variable bit
// rates, HE-AAC, lossless, PCM of either byte order).
class PlayerSeekTest : public PlayerFormatTest {};

TEST_P(PlayerSeekTest, DurationSeekAndLevels) {
  const auto& c = GetParam();
  wav_ = test::tempPath("formats-seek.wav");
  test::useSink("wav:" + wav_ + ":realtime");
  test::StateLog log;
  AudioStreamer player(server_->url(), log.options());
  log.player = &player;
  player.start();
  ASSERT_TRUE(waitFor([&] { return player.isPlaying(); }));

  EXPECT_FALSE(player.isMeteringEnabled());
  EXPECT_EQ(player.peakPowerForChannel(0), 0.0f);
  player.setMeteringEnabled(true);
  EXPECT_TRUE(player.isMeteringEnabled());
  ASSERT_TRUE(waitFor(
      [&] { return player.peakPowerForChannel(0) > 0.05f && player.averagePowerForChannel(0) > 0.02f; }, 3s));
  const std::uint32_t channels = player.numberOfChannels();
  EXPECT_EQ(channels, std::uint32_t(c.outputChannels));
  EXPECT_GT(player.peakPowerForChannel(channels - 1), 0.0f);
  EXPECT_LE(player.peakPowerForChannel(0), 1.0f);
  EXPECT_EQ(player.peakPowerForChannel(channels), 0.0f);
  EXPECT_EQ(player.averagePowerForChannel(channels), 0.0f);
  player.setMeteringEnabled(false);
  EXPECT_FALSE(player.isMeteringEnabled());

  // Exact for linear PCM; within 2 % for compressed audio (the formula counts every byte after the
  // data offset as audio: 1.02 % over for the 3 s MP4).
  const double truth = trueDuration();
  ASSERT_TRUE(waitFor([&] { return std::abs(player.duration() - truth) < 0.02 * truth; }, 5s))
      << "duration " << player.duration() << " s, truth " << truth << " s";
  if (!c.packets) {
    EXPECT_NEAR(player.duration(), truth, 1e-6);
  }

  const double target = truth / 2;
  player.seekToTime(target);
  ASSERT_TRUE(waitFor([&] { return !player.isPlaying(); }, 3s));
  // A rest shorter than the ring starts only at the end of the stream, and ends at once.
  ASSERT_TRUE(waitFor(
      [&] { return player.isPlaying() || player.state() == StreamerState::Stopping || player.isIdle(); }, 5s))
      << "state " << streamerStateName(player.state()) << ", error " << int(player.errorCode());
  if (player.isPlaying()) {
    // From the byte offset and the average bit rate: variable bit rates shift it a little.
    EXPECT_NEAR(log.positionAtPlayingAfter(StreamerState::Stopping), target, 0.1 * truth)
        << "progress just after the seek";
  }
  ASSERT_TRUE(waitFor([&] { return player.isIdle(); }, 10s));
  EXPECT_EQ(player.errorCode(), StreamerError::None);
  // What plays after the seek is the source: its last quarter stands whole, within 16-bit rounding,
  // in what the sink wrote. (Not for AAC: its decoder draws noise bands afresh after a seek.)
  const auto ours = test::readWav(wav_);
  ASSERT_TRUE(ours);
  if (!c.packets || c.formatID == kAudioFormatAppleLossless) {
    const auto tail = std::vector<std::int16_t>(
        reference_.samples.begin() + std::ptrdiff_t(reference_.frames() * 3 / 4 * reference_.channels),
        reference_.samples.end());
    const long at = test::findAlignment(*ours, tail, long(ours->frames()), 1);
    ASSERT_GE(at, 0);
    EXPECT_EQ(test::countMismatches(*ours, tail, at, 0, 1), 0u);
  }

  // The request starts at the packet of the target time (ADTS: near it, unless the parser saw it).
  const std::int64_t place = placeOf(c, test::readBytes(path_), target);
  ASSERT_GE(place, 0);
  const auto ranges = server_->ranges();
  ASSERT_GE(ranges.size(), 2u);
  const std::int64_t requested = std::strtoll(ranges.back().c_str() + 6, nullptr, 10);  // "bytes=N-M"
  if (c.fileType == kAudioFileAAC_ADTSType) {
    EXPECT_NEAR(double(requested), double(place), 3000.0) << ranges.back();
  } else {
    EXPECT_EQ(requested, place) << ranges.back();
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, PlayerFormatTest, ::testing::ValuesIn(test::formatCases()),
                         [](const auto& info) { return std::string(info.param.name); });

std::vector<test::FormatCase> seekCases() {
  std::vector<test::FormatCase> cases;
  for (const char* name : {"adts_vbr48", "mp4_lc48", "caf_he", "m4a_alac16", "wav_u8", "aiff_s24",
                           "aifc_sowt", "caf_aac", "caf_f32"}) {
    cases.push_back(*test::findCase(name));
  }
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Formats, PlayerSeekTest, ::testing::ValuesIn(seekCases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(PlayerFormatErrors, MoovAfterTheMediaEndsWithAnError) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  test::useSink("null");
  test::MediaServer server(test::readBytes(test::moovAtEndFixture()), {.contentType = "audio/x-m4a"});
  AudioStreamer player(server.url());
  player.start();
  ASSERT_TRUE(waitFor([&] { return player.errorCode() != StreamerError::None && player.isIdle(); }, 5s));
  EXPECT_EQ(player.errorCode(), StreamerError::FileStreamParseBytesFailed);
  EXPECT_EQ(AudioStreamer::stringForErrorCode(4), "Parse bytes failed.");
}

TEST(PlayerFormatErrors, PacketLargerThanTheBuffersIsError21) {
  if (!test::haveFfmpeg()) GTEST_SKIP() << "ffmpeg is not installed";
  test::useSink("null");
  auto frames = test::splitAdtsFrames(test::readBytes(test::fixturePath(*test::findCase("adts_lc"))));
  ASSERT_GT(frames.size(), 60u);
  // A frame of the same stream that says it is 6000 bytes long: more than AAC allows two channels.
  Bytes big = frames[40];
  big.resize(6000, 0);
  big[3] = std::uint8_t((big[3] & 0xFC) | (6000 >> 11));
  big[4] = std::uint8_t(6000 >> 3);
  big[5] = std::uint8_t((big[5] & 0x1F) | ((6000 & 7) << 5));
  Bytes stream;
  for (std::size_t i = 0; i < frames.size(); ++i) {
    stream.insert(stream.end(), frames[i].begin(), frames[i].end());
    if (i == 40) stream.insert(stream.end(), big.begin(), big.end());
  }
  test::MediaServer server(stream, {.contentType = "audio/aac"});
  AudioStreamer player(server.url());
  player.start();
  ASSERT_TRUE(waitFor([&] { return player.errorCode() != StreamerError::None && player.isIdle(); }, 5s));
  EXPECT_EQ(player.errorCode(), StreamerError::AudioBufferTooSmall);
}

}  // namespace
}  // namespace tonvera
