// Pause and resume as heard on a PulseAudio server of the test's own, recorded from its null sink's
// monitor: the fades, silence while paused (nothing stale at the resume), and the tone going on from
// the sample where it stopped. Skipped without pulseaudio and parec.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "audio/audiostreamer.h"
#include "g719_test_util.h"
#include "main_loop.h"
#include "media_server.h"
#include "player_run.h"

namespace tonvera {
namespace {

constexpr int kRate = 48000;
constexpr int kToneLevel = 12000;
constexpr int kFadeFrames = kRate / 10;

// Left: a tone of about 440 Hz, 150 periods in 16384 frames (the envelope). Right: the frame's
// index, 16384 + (i mod 16384), so that where the volume is full the recording tells which frame
// of the decode it is.
std::int16_t toneAt(long i) {
  return std::int16_t(std::lrint(kToneLevel * std::sin(2 * M_PI * 150.0 * double(i % 16384) / 16384.0)));
}
std::int16_t indexAt(long i) { return std::int16_t(16384 + i % 16384); }

std::vector<std::uint8_t> toneWav(int seconds) {
  const std::uint32_t frames = std::uint32_t(seconds * kRate);
  std::vector<std::uint8_t> out;
  auto put = [&](std::uint32_t v, int bytes) {
    for (int b = 0; b < bytes; ++b) out.push_back(std::uint8_t(v >> (8 * b)));
  };
  for (const std::uint32_t word : {0x46464952u, 36 + frames * 4, 0x45564157u, 0x20746d66u, 16u}) put(word, 4);
  put(0x00020001u, 4), put(kRate, 4), put(kRate * 4, 4), put(0x00100004u, 4), put(0x61746164u, 4);
  put(frames * 4, 4);
  for (long i = 0; i < long(frames); ++i) put(std::uint16_t(toneAt(i)), 2), put(std::uint16_t(indexAt(i)), 2);
  return out;
}

// `pulseaudio -n` with a null sink only, in its own runtime folder, and parec on the sink's monitor.
// The null sink does not rewind, so the monitor records the audio in the order it was played.
class PulseServer {
 public:
  explicit PulseServer(const std::string& dir) : dir_(dir) {
    std::filesystem::create_directories(dir_);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
      env.insert(name, QString::fromStdString(dir_));
    server_.setProcessEnvironment(env);
    server_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    server_.setStandardOutputFile(QProcess::nullDevice());
    server_.start(
        "pulseaudio",
        {"-n", "--daemonize=no", "--exit-idle-time=-1", "--use-pid-file=no", "--log-level=error", "-L",
         QString::fromStdString("module-native-protocol-unix auth-anonymous=1 socket=" + dir_ + "/native"),
         "-L", "module-null-sink sink_name=tonvera_test rate=48000 format=s16le channels=2 norewinds=1"});
  }
  ~PulseServer() {
    for (QProcess* p : {&recorder_, &server_}) {
      p->terminate();
      if (!p->waitForFinished(10000)) p->kill();
    }
    ::unsetenv("PULSE_SERVER");
    std::filesystem::remove_all(dir_);
  }
  bool ready() {
    const std::string socket = dir_ + "/native";
    return runMainLoopUntil([&] { return std::filesystem::exists(socket); }, std::chrono::seconds(20)) &&
           ::setenv("PULSE_SERVER", ("unix:" + socket).c_str(), 1) == 0;
  }
  // Records the monitor into recording(); false when parec does not start.
  bool record() {
    recorder_.setStandardOutputFile(QString::fromStdString(dir_ + "/monitor.raw"));
    recorder_.start("parec", {"--device=tonvera_test.monitor", "--raw", "--format=s16le", "--rate=48000",
                              "--channels=2", "--latency-msec=10"});
    return recorder_.waitForStarted(20000) &&
           runMainLoopUntil([&] { return recordedFrames() > kRate / 10; }, std::chrono::seconds(20));
  }
  long recordedFrames() const {
    return long(QFileInfo(QString::fromStdString(dir_ + "/monitor.raw")).size() / 4);
  }
  std::vector<std::int16_t> recording() const { return test::readPcm(dir_ + "/monitor.raw"); }

 private:
  const std::string dir_;
  QProcess server_;
  QProcess recorder_;
};

// The left channel's peak over `frames` frames from `at`, as a share of the tone's.
double levelAt(const std::vector<std::int16_t>& pcm, long at, long frames) {
  int peak = 0;
  for (long i = at; i < at + frames && 2 * i < long(pcm.size()); ++i)
    peak = std::max(peak, std::abs(int(pcm[2 * i])));
  return double(peak) / kToneLevel;
}
bool silent(const std::vector<std::int16_t>& pcm, long i) { return pcm[2 * i] == 0 && pcm[2 * i + 1] == 0; }
// A frame at full volume: its tone sample is the decode's at the index its right channel carries.
bool fullAt(const std::vector<std::int16_t>& pcm, long i) {
  const int code = pcm[2 * i + 1] - 16384;
  return code >= 0 && pcm[2 * i] == toneAt(code);
}

TEST(PulsePauseResume, TheFadesAreHeardAndNothingStaleComesBackAtTheResume) {
  if (QStandardPaths::findExecutable("pulseaudio").isEmpty() ||
      QStandardPaths::findExecutable("parec").isEmpty())
    GTEST_SKIP()
        << "pulseaudio or parec is not installed (scripts/setup.sh installs pulseaudio and pulseaudio-utils)";
  PulseServer pulse(test::tempPath("pulse"));
  ASSERT_TRUE(pulse.ready()) << "the test's PulseAudio server did not start";
  ASSERT_TRUE(pulse.record()) << "parec did not record the null sink's monitor";

  test::useSink("pulse");
  {
    test::MediaServer server(toneWav(8), {.contentType = "audio/x-wav"});
    AudioStreamer player(server.url());
    test::PlayerRun run(player);
    player.start();
    ASSERT_TRUE(run.waitFor([&] { return player.isPlaying() && player.progress() > 1.0; }));
    player.pause();
    ASSERT_TRUE(player.isPaused());
    const long pausedAt = pulse.recordedFrames();
    ASSERT_TRUE(run.waitFor([&] { return pulse.recordedFrames() > pausedAt + kRate * 6 / 10; }));
    player.pause();
    ASSERT_TRUE(player.isPlaying());
    const double resumedAt = player.progress();
    ASSERT_TRUE(run.waitFor([&] { return player.progress() > resumedAt + 1.0; }));
    player.stop();
    ASSERT_TRUE(run.waitForIdle());
  }
  const auto pcm = pulse.recording();
  // The silent stretches between the first and the last sound: one, the pause.
  long first = 0, last = long(pcm.size() / 2) - 1, gapStart = 0, gapEnd = 0, silentFrames = 0;
  while (first < last && silent(pcm, first)) ++first;
  while (last > first && silent(pcm, last)) --last;
  for (long i = first, run = 0; i <= last; ++i) {
    run = silent(pcm, i) ? run + 1 : 0;
    silentFrames += run > 0;
    if (run > gapEnd - gapStart) gapStart = i + 1 - run, gapEnd = i + 1;
  }
  ASSERT_GT(gapEnd - gapStart, kRate * 3 / 10) << "no pause heard";
  EXPECT_EQ(silentFrames, gapEnd - gapStart) << "sound within the pause";

  // The fades, in 10 ms steps: down to silence before the pause, up from silence after it.
  std::string envelope;
  bool ramps = true;
  for (int step = 0; step < 10; ++step) {
    const double out = levelAt(pcm, gapStart - kFadeFrames + step * kFadeFrames / 10, kFadeFrames / 10);
    const double in = levelAt(pcm, gapEnd + step * kFadeFrames / 10, kFadeFrames / 10);
    ramps = ramps && std::abs(out - (10 - step) / 10.0) < 0.07 && std::abs(in - (step + 1) / 10.0) < 0.07;
    envelope += std::to_string(out).substr(0, 4) + "/" + std::to_string(in).substr(0, 4) + " ";
  }
  EXPECT_TRUE(ramps) << "fade-out/fade-in levels every 10 ms: " << envelope;

  // The tone goes on after the pause from the frame where it stopped: the frames heard around the
  // pause are consecutive frames of the track.
  const long before = gapStart - kFadeFrames - 1;
  const long after = gapEnd + kFadeFrames + 1;
  ASSERT_TRUE(fullAt(pcm, before)) << "not at full level before the fade-out";
  const long indexBefore = pcm[2 * before + 1] - 16384;
  const long expected = (indexBefore + (after - before) - (gapEnd - gapStart) + 1) % 16384;
  EXPECT_NEAR(double(pcm[2 * after + 1] - 16384), double(expected), 2.0)
      << "frames lost or repeated at the pause";
}

}  // namespace
}  // namespace tonvera
