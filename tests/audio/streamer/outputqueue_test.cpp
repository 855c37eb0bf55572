// The output queue and its sinks: sink choice and fallback, PCM into a WAV file, volume, levels, the
// clock, fades sample by sample, and buffers given back on an immediate stop.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <vector>

#include "main_loop.h"
#include "platform/audiotoolbox/audioqueue.h"
#include "platform/audiotoolbox/audiosink.h"
#include "player_run.h"
#include "streamer_fixtures.h"

namespace tonvera {
namespace {

AudioStreamBasicDescription pcm16(double rate, std::uint32_t channels) {
  AudioStreamBasicDescription f;
  f.sampleRate = rate;
  f.formatID = kAudioFormatLinearPCM;
  f.formatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
  f.bytesPerPacket = 2 * channels;
  f.framesPerPacket = 1;
  f.bytesPerFrame = 2 * channels;
  f.channelsPerFrame = channels;
  f.bitsPerChannel = 16;
  return f;
}

// A queue with a counter of given-back buffers.
struct QueueUnderTest {
  std::unique_ptr<AudioQueue> queue;
  std::atomic<int> givenBack{0};
  std::atomic<int> runningChanges{0};
  std::vector<AudioQueueBuffer*> buffers;

  explicit QueueUnderTest(const AudioStreamBasicDescription& f, int count = 4, std::uint32_t size = 4096) {
    EXPECT_EQ(AudioQueue::newOutput(
                  f, [this](AudioQueue&, AudioQueueBuffer*) { ++givenBack; }, &queue),
              kAudioNoErr);
    queue->addPropertyListener(kAudioQueueProperty_IsRunning,
                               [this](AudioQueue&, std::uint32_t) { ++runningChanges; });
    for (int i = 0; i < count; ++i) {
      AudioQueueBuffer* b = nullptr;
      EXPECT_EQ(queue->allocateBuffer(size, &b), kAudioNoErr);
      buffers.push_back(b);
    }
  }
  void fill(AudioQueueBuffer* b, const std::vector<std::int16_t>& samples) {
    std::memcpy(b->audioData, samples.data(), samples.size() * 2);
    b->audioDataByteSize = std::uint32_t(samples.size() * 2);
    ASSERT_EQ(queue->enqueueBuffer(b, 0, nullptr), kAudioNoErr);
  }
};

TEST(AudioQueue, PlaysLinearPcmExactlyIntoTheWavSinkWithVolumeAndLevels) {
  const std::string wav = test::tempPath("queue.wav");
  test::useSink("wav:" + wav);
  std::vector<std::int16_t> samples(2048);  // 1024 stereo frames: a full-scale square left, silence right
  for (std::size_t i = 0; i < samples.size(); i += 2) samples[i] = (i / 2) % 64 < 32 ? 16000 : -16000;
  {
    QueueUnderTest q(pcm16(44100, 2));
    std::uint32_t on = 1;
    q.queue->setProperty(kAudioQueueProperty_EnableLevelMetering, &on, sizeof on);
    double t = 0;
    EXPECT_EQ(q.queue->getCurrentTime(&t), kAudioQueueErrStopped);
    q.fill(q.buffers[0], samples);
    ASSERT_EQ(q.queue->start(), kAudioNoErr);
    ASSERT_TRUE(runMainLoopUntil([&] { return q.givenBack == 1; }, std::chrono::seconds(5)));
    ASSERT_EQ(q.queue->getCurrentTime(&t), kAudioNoErr);
    EXPECT_EQ(t, 1024.0);
    AudioQueueLevelMeterState levels[2];
    std::uint32_t size = sizeof levels;
    ASSERT_EQ(q.queue->getProperty(kAudioQueueProperty_CurrentLevelMeter, levels, &size), kAudioNoErr);
    EXPECT_NEAR(levels[0].peakPower, 16000 / 32768.0, 1e-4);
    EXPECT_NEAR(levels[0].averagePower, 16000 / 32768.0, 1e-3);
    EXPECT_EQ(levels[1].peakPower, 0.0f);
    q.queue->setParameter(kAudioQueueParam_Volume, 0.5f);
    q.fill(q.buffers[1], samples);
    ASSERT_TRUE(runMainLoopUntil([&] { return q.givenBack == 2; }, std::chrono::seconds(5)));
    EXPECT_EQ(q.queue->stop(false), kAudioNoErr);
    ASSERT_TRUE(runMainLoopUntil([&] { return q.runningChanges == 2; }, std::chrono::seconds(5)));
  }
  const auto pcm = test::readWav(wav);
  ASSERT_TRUE(pcm);
  EXPECT_EQ(pcm->channels, 2);
  EXPECT_EQ(pcm->rate, 44100);
  ASSERT_EQ(pcm->samples.size(), 2 * samples.size());
  EXPECT_TRUE(std::equal(samples.begin(), samples.end(), pcm->samples.begin()));
  for (std::size_t i = 0; i < samples.size(); ++i)
    EXPECT_EQ(pcm->samples[samples.size() + i], samples[i] / 2);
  std::remove(wav.c_str());
}

TEST(AudioQueue, AFadeOutThenPauseHoldsWhereTheRampEndsAndTheFadeInGoesOnFromThere) {
  const std::string wav = test::tempPath("ramp.wav");
  test::useSink("wav:" + wav);
  constexpr int kFrames = 6000;  // per buffer: the fade-out (4800 frames) ends inside the first
  constexpr int kRamp = 4800;    // 100 ms at 48 kHz
  constexpr std::int16_t kLevel = 10000;
  {
    QueueUnderTest q(pcm16(48000, 2), 3, kFrames * 4);
    for (AudioQueueBuffer* b : q.buffers) q.fill(b, std::vector<std::int16_t>(2 * kFrames, kLevel));
    // The output thread reports the start before it plays anything; it is held there until the
    // pause is asked, so that the pause always comes before the ramp's end (the WAV sink takes the
    // whole ramp at once).
    std::promise<void> pauseAsked;
    q.queue->addPropertyListener(kAudioQueueProperty_IsRunning,
                                 [asked = pauseAsked.get_future().share()](AudioQueue&, std::uint32_t) {
                                   asked.wait_for(std::chrono::seconds(10));
                                 });
    // Asked before the start, so the ramp begins with the first frame.
    ASSERT_EQ(q.queue->rampVolume(0.0f, 0.1), kAudioNoErr);
    const AudioStatus started = q.queue->start();
    const AudioStatus paused = q.queue->pause(true);
    pauseAsked.set_value();
    ASSERT_EQ(started, kAudioNoErr);
    ASSERT_EQ(paused, kAudioNoErr);
    double heard = 0;
    ASSERT_TRUE(runMainLoopUntil(
        [&] { return q.queue->getCurrentTime(&heard) == kAudioNoErr && heard == double(kRamp); },
        std::chrono::seconds(10)));
    EXPECT_EQ(q.givenBack.load(), 0);  // held inside the first buffer
    float volume = 1;
    q.queue->getParameter(kAudioQueueParam_Volume, &volume);
    EXPECT_EQ(volume, 0.0f);
    ASSERT_EQ(q.queue->rampVolume(1.0f, 0.1), kAudioNoErr);
    ASSERT_EQ(q.queue->start(), kAudioNoErr);
    ASSERT_TRUE(runMainLoopUntil([&] { return q.givenBack == 3; }, std::chrono::seconds(10)));
    ASSERT_EQ(q.queue->stop(false), kAudioNoErr);
    ASSERT_TRUE(runMainLoopUntil([&] { return q.runningChanges == 2; }, std::chrono::seconds(10)));
  }
  const auto out = test::readWav(wav);
  ASSERT_TRUE(out);
  ASSERT_EQ(out->frames(), std::size_t(3 * kFrames));  // nothing lost at the pause
  auto at = [&](int frame) { return out->samples[std::size_t(2 * frame)]; };
  for (int i = 0; i < kRamp; ++i) {
    // Down one step a frame, then up one step a frame: no plateaus, no jumps.
    ASSERT_NEAR(at(i), kLevel * (1.0 - double(i + 1) / kRamp), 2.0) << "fade-out frame " << i;
    ASSERT_NEAR(at(kRamp + i), kLevel * double(i + 1) / kRamp, 2.0) << "fade-in frame " << i;
  }
  EXPECT_EQ(at(kRamp - 1), 0);
  for (int i = 2 * kRamp; i < 3 * kFrames; ++i) ASSERT_EQ(at(i), kLevel) << "frame " << i;
  std::remove(wav.c_str());
}

TEST(AudioQueue, ImmediateStopGivesEveryQueuedBufferBackBeforeReturning) {
  test::useSink("null");
  QueueUnderTest q(pcm16(48000, 2));
  std::vector<std::int16_t> samples(1000, 5);
  q.queue->pause();
  ASSERT_EQ(q.queue->start(), kAudioNoErr);
  ASSERT_EQ(q.queue->pause(), kAudioNoErr);
  for (int i = 0; i < 3; ++i) q.fill(q.buffers[std::size_t(i)], samples);
  EXPECT_EQ(q.queue->enqueueBuffer(q.buffers[0], 0, nullptr), kAudioQueueErrInvalidBuffer);  // already queued
  EXPECT_EQ(q.queue->stop(true), kAudioNoErr);
  EXPECT_EQ(q.givenBack.load(), 3);
  double t = 0;
  EXPECT_EQ(q.queue->getCurrentTime(&t), kAudioQueueErrStopped);
}

TEST(AudioQueue, RefusesFormatsItCannotPlay) {
  AudioStreamBasicDescription f = pcm16(44100, 2);
  f.formatID = fourcc("zzzz");
  std::unique_ptr<AudioQueue> queue;
  EXPECT_EQ(AudioQueue::newOutput(f, nullptr, &queue), kAudioQueueErrInvalidFormat);
  EXPECT_EQ(queue, nullptr);
}

// A sink that takes everything, standing for a backend that opened.
std::unique_ptr<AudioSink> opened(int, int, std::string*) { return openNullSink(); }
std::unique_ptr<AudioSink> refused(int, int, std::string* error) {
  *error = "cannot open";
  return nullptr;
}

struct FallbackCase {
  const char* name;
  const char* env;
  bool pulseOpens;
  bool alsaOpens;
  const char* expectedSink;
  const char* expectedAlsaDevice;  // the device asked of ALSA, "" when ALSA is not asked
  bool fellBack;                   // a reason is given for not using the sink asked for
};

void PrintTo(const FallbackCase& c, std::ostream* os) { *os << c.name; }
class SinkFallback : public testing::TestWithParam<FallbackCase> {};

TEST_P(SinkFallback, TakesTheFirstSinkThatOpensAndNeverRunsAheadOfRealTime) {
  const FallbackCase& c = GetParam();
  std::vector<std::string> alsaAsked;
  AudioSinkOpeners openers;
  openers.pulse = c.pulseOpens ? opened : refused;
  openers.alsa = [&](const std::string& device, int rate, int channels, std::string* error) {
    alsaAsked.push_back(device.empty() ? "default" : device);
    return c.alsaOpens ? opened(rate, channels, error) : refused(rate, channels, error);
  };
  OpenedAudioSink sink = openAudioSink(parseAudioSinkChoice(c.env), 48000, 2, openers);
  ASSERT_NE(sink.sink, nullptr);
  EXPECT_EQ(sink.name, c.expectedSink);
  EXPECT_EQ(alsaAsked.empty() ? std::string() : alsaAsked.front(), c.expectedAlsaDevice);
  EXPECT_EQ(!sink.fallbackReason.empty(), c.fellBack);
  // A paced sink holds what it was given until a device would have played it; a free-running one
  // holds nothing.
  std::vector<std::int16_t> tenth(4800 * 2, 0);
  ASSERT_TRUE(sink.sink->write(tenth.data(), 4800));
  const bool paced = sink.sink->latencyFrames() > 0;
  EXPECT_EQ(paced, std::string(sink.name).find("realtime") != std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Order, SinkFallback,
    testing::Values(
        FallbackCase{"PulseFirst", "", true, true, "pulse", "", false},
        FallbackCase{"AlsaWhenPulseFails", "", false, true, "alsa:default", "default", true},
        FallbackCase{"PacedNullWhenBothFail", "", false, false, "null:realtime", "default", true},
        FallbackCase{"NamedAlsaDevice", "alsa:hw:1,0", true, true, "alsa:hw:1,0", "hw:1,0", false},
        FallbackCase{"NamedAlsaDeviceFails", "alsa:hw:9", true, false, "null:realtime", "hw:9", true},
        FallbackCase{"NullStaysFast", "null", false, false, "null", "", false},
        FallbackCase{"UnwritableWavFallsBackPaced", "wav:/nonexistent/dir/a.wav", true, true, "null:realtime",
                     "", true}),
    [](const testing::TestParamInfo<FallbackCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tonvera
