// Latency of the radio against a running station (TONVERA_SERVICE_URL, else the station's default
// address): milliseconds from choosing a channel to the first track's Playing, and from an
// advance to the next track's Playing. Set TONVERA_AUDIO_SINK (for example null:realtime) and
// TONVERA_BENCH_CHANNEL (a channel id, default "all"); settings and taste files go to the usual
// folders, so point HOME at a scratch folder.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "platform/mainqueue.h"
#include "platform/notificationcenter.h"
#include "radio/mainpage.h"
#include "radio/mainviewcontroller.h"
#include "radio/radioplayer.h"

namespace {

using namespace tonvera;

class SilentPage : public MainPage {
 public:
  void setArtistText(const std::string&) override {}
  void setAlbumText(const std::string&) override {}
  void setTrackNameText(const std::string&) override {}
  void setPositionText(const std::string&) override {}
  void readoutSetString(const std::string&) override {}
  void readoutSetColor(int) override {}
  void readoutDisplay() override {}
  void sliderSetProgress(double) override {}
  double sliderGetProgress() const override { return 0; }
  bool sliderIsDown() const override { return false; }
  bool sliderIsEntered() const override { return false; }
  bool sliderIsSeek() const override { return false; }
  void lrcSetLrc(const std::optional<std::string>&) override {}
  void lrcProcess() override {}
  void lrcSetTimestamp(double) override {}
  void lrcDisplay() override {}
  void refreshImage(const QImage&, bool) override {}
  void playButtonSetOn(bool) override {}
  void setWindowTitle(const std::string&) override {}
};

PlistValue channelRecord();

struct Radio {
  SilentPage page;
  MainViewController controller{page};
  int playing = 0;  // Playing notifications so far

  Radio() {
    MainViewController::Hooks hooks;
    hooks.playerStateChanged = [this](StreamerState state) { playing += state == StreamerState::Playing; };
    controller.setHooks(std::move(hooks));
    controller.setStation(channelRecord());
  }

  // Runs `action` and waits for the next Playing; the elapsed milliseconds, or -1 after 20 s.
  template <typename F>
  double timeToPlaying(F action) {
    const int before = playing;
    const auto t0 = std::chrono::steady_clock::now();
    action();
    if (!runMainLoopUntil([&] { return playing > before; }, std::chrono::seconds(20))) return -1;
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  }
};

std::string channelId() {
  const char* id = std::getenv("TONVERA_BENCH_CHANNEL");
  return id && *id ? id : "all";
}

PlistValue channelRecord() {
  return PlistValue(PlistValue::Dict{{"id", PlistValue(channelId())}, {"name", PlistValue(channelId())}});
}

void chooseChannel() {
  NotificationCenter::defaultCenter().post(kStationChangedNotification, nullptr,
                                           PlistValue(PlistValue::Dict{{"0", channelRecord()}}));
}

void BM_ChannelToPlaying(benchmark::State& st) {
  Radio radio;
  radio.controller.awakeFromNib();
  if (radio.timeToPlaying([] {}) < 0) return st.SkipWithError("no station answering, or nothing plays");
  for (auto _ : st) {
    const double ms = radio.timeToPlaying([] { chooseChannel(); });
    if (ms < 0) return st.SkipWithError("channel did not play within 20 s");
    st.SetIterationTime(ms / 1000.0);
  }
}
BENCHMARK(BM_ChannelToPlaying)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_NextToPlaying(benchmark::State& st) {
  Radio radio;
  radio.controller.awakeFromNib();
  if (radio.timeToPlaying([] {}) < 0) return st.SkipWithError("no station answering, or nothing plays");
  for (auto _ : st) {
    const double ms =
        radio.timeToPlaying([&] { radio.controller.nextTrack(Sender::reason(skipreason::kMediaKey)); });
    if (ms < 0) return st.SkipWithError("next track did not play within 20 s");
    st.SetIterationTime(ms / 1000.0);
  }
}
BENCHMARK(BM_NextToPlaying)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

}  // namespace
