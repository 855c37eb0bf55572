// What keeps a window responsive and a listener's request honoured: the output queue's thread
// applies the fades sample by sample (the caller only asks), a pause after a fade-out holds exactly
// where the fade ends, and a seek asked before the bit rate is known is carried out once it is.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <atomic>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "media_server.h"
#include "platform/audiotoolbox/audioqueue.h"
#include "platform/mainqueue.h"
#include "player_run.h"
#include "streamer_fixtures.h"

namespace tonvera {
namespace {

AudioStreamBasicDescription stereo48k() {
  AudioStreamBasicDescription f;
  f.sampleRate = 48000;
  f.formatID = kAudioFormatLinearPCM;
  f.formatFlags = kAudioFormatFlagIsSignedInteger | kAudioFormatFlagIsPacked;
  f.bytesPerPacket = 4;
  f.framesPerPacket = 1;
  f.bytesPerFrame = 4;
  f.channelsPerFrame = 2;
  f.bitsPerChannel = 16;
  return f;
}

TEST(AudioQueueFades, AFadeOutThenPauseHoldsWhereTheRampEndsAndTheFadeInGoesOnFromThere) {
  const std::string wav = test::tempPath("ramp.wav");
  test::useSink("wav:" + wav);
  constexpr int kFrames = 6000;  // per buffer: the fade-out (4800 frames) ends inside the first
  constexpr int kRamp = 4800;    // 100 ms at 48 kHz
  constexpr std::int16_t kLevel = 10000;
  {
    std::unique_ptr<AudioQueue> queue;
    std::atomic<int> givenBack{0}, runningChanges{0};
    ASSERT_EQ(AudioQueue::newOutput(stereo48k(), [&](AudioQueue&, AudioQueueBuffer*) { ++givenBack; }, &queue),
              kAudioNoErr);
    queue->addPropertyListener(kAudioQueueProperty_IsRunning, [&](AudioQueue&, std::uint32_t) { ++runningChanges; });
    const std::vector<std::int16_t> samples(2 * kFrames, kLevel);
    for (int i = 0; i < 3; ++i) {
      AudioQueueBuffer* b = nullptr;
      ASSERT_EQ(queue->allocateBuffer(kFrames * 4, &b), kAudioNoErr);
      std::memcpy(b->audioData, samples.data(), samples.size() * 2);
      b->audioDataByteSize = kFrames * 4;
      ASSERT_EQ(queue->enqueueBuffer(b, 0, nullptr), kAudioNoErr);
    }
    // Asked before the start, so the ramp begins with the first frame.
    ASSERT_EQ(queue->rampVolume(0.0f, 0.1), kAudioNoErr);
    ASSERT_EQ(queue->start(), kAudioNoErr);
    ASSERT_EQ(queue->pause(true), kAudioNoErr);
    double heard = 0;
    ASSERT_TRUE(runMainLoopUntil(
        [&] { return queue->getCurrentTime(&heard) == kAudioNoErr && heard == double(kRamp); },
        std::chrono::seconds(10)));
    EXPECT_EQ(givenBack.load(), 0);  // held inside the first buffer
    float volume = 1;
    queue->getParameter(kAudioQueueParam_Volume, &volume);
    EXPECT_EQ(volume, 0.0f);
    ASSERT_EQ(queue->rampVolume(1.0f, 0.1), kAudioNoErr);
    ASSERT_EQ(queue->start(), kAudioNoErr);
    ASSERT_TRUE(runMainLoopUntil([&] { return givenBack == 3; }, std::chrono::seconds(10)));
    ASSERT_EQ(queue->stop(false), kAudioNoErr);
    ASSERT_TRUE(runMainLoopUntil([&] { return runningChanges == 2; }, std::chrono::seconds(10)));
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

TEST(AudioStreamerSeek, ASeekAskedRightAfterTheStartIsCarriedOutOnceTheBitRateIsKnown) {
  test::useSink("null:realtime");
  const auto bytes = test::readFileBytes(test::fixturePath("cbr.mp3"));
  test::MediaServer server(bytes);
  test::RecordingStreamer player(server.url());
  test::PlayerRun run(player);
  player.start();
  const double target = 4.0;
  player.seekToTime(target);  // long before 50 packets have been counted
  ASSERT_TRUE(run.waitFor([&] { return server.ranges().size() == 2; }));
  const auto ranges = server.ranges();
  EXPECT_EQ(ranges[0], "");
  EXPECT_EQ(ranges[1].rfind("bytes=", 0), 0u) << ranges[1];
  const std::int64_t from = std::strtoll(ranges[1].c_str() + 6, nullptr, 10);
  const double share = double(from - test::id3Size(bytes)) / double(std::int64_t(bytes.size()) - test::id3Size(bytes));
  EXPECT_NEAR(share * 6.0, target, 0.3);
  ASSERT_TRUE(run.waitFor([&] { return player.isPlaying() && player.progress() > target; }));
  EXPECT_LT(player.progress(), target + 1.5);
  ASSERT_TRUE(run.waitForIdle());
  EXPECT_EQ(player.errorCode(), StreamerError::None);
  EXPECT_EQ(test::count(player.transitions(), StreamerState::Idle), 1);
}

#ifdef TONVERA_CLI_PATH
TEST(CliPlay, AStreamThatFailsAfterItsReconnectionAttemptsAnnouncesEachStateOnce) {
  QProcess p;
  auto env = QProcessEnvironment::systemEnvironment();
  env.insert(QStringLiteral("TONVERA_AUDIO_SINK"), QStringLiteral("null"));
  // The reopens go on for the outage limit: a short one keeps the test quick.
  env.insert(QString::fromUtf8(AudioStreamer::kOutageLimitVariable), QStringLiteral("1000"));
  p.setProcessEnvironment(env);
  p.start(QString::fromUtf8(TONVERA_CLI_PATH), {QStringLiteral("play"), QStringLiteral("http://127.0.0.1:1/none")});
  ASSERT_TRUE(p.waitForFinished(60000));
  EXPECT_EQ(p.exitCode(), 1);
  const QStringList lines = QString::fromUtf8(p.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  QStringList states;
  for (const QString& line : lines) {
    if (line.startsWith(QStringLiteral("state "))) states << line;
  }
  ASSERT_FALSE(states.isEmpty());
  EXPECT_EQ(states.count(QStringLiteral("state Idle")), 1) << states.join(',').toStdString();
  EXPECT_EQ(states.back(), QStringLiteral("state Idle"));
  for (int i = 1; i < states.size(); ++i) EXPECT_NE(states[i], states[i - 1]) << states.join(',').toStdString();
}
#endif

}  // namespace
}  // namespace tonvera
