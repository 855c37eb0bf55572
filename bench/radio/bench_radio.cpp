// Latency of the radio against a running station (TONVERA_SERVICE_URL, else the station's default
// address), as the controller reports it and as a listener hears it: milliseconds from choosing a
// channel, and from an advance, to the new track's Playing and to the first non-silent sample that
// reaches the sink (the sound probe of the output queues). Each figure is measured with the
// prefetch of the next track on and off (argument 1 / 0) in the same run; the counters give the
// medians (playing_ms, sound_ms), the heap in use just before an advance and once the next track
// sounds, and, with the prefetch on, the bytes held ahead.
//
// BM_NextToSoundFar measures the advance again through a relay that holds every new connection
// for TONVERA_BENCH_DELAY_MS (default 50) before passing it on to the station, as a distant
// server's round trips would: there the lookup and the connection that the prefetch saves show.
//
// Set TONVERA_AUDIO_SINK (for example null:realtime) and TONVERA_BENCH_CHANNEL (a channel id,
// default "all"); settings and taste files go to the usual folders, so point HOME at a scratch
// folder.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "main_loop.h"
#include "support/soundprobe.h"
#include "platform/mainqueue.h"
#include "platform/notificationcenter.h"
#include "radio/mainpage.h"
#include "radio/mainviewcontroller.h"
#include "radio/radioplayer.h"

namespace {

using namespace tonvera;
using Clock = std::chrono::steady_clock;

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

// A loopback relay to the station that holds every new connection for `delay` before passing it
// on. The station writes its own address into the records from the Host field, so the streams go
// through the relay too.
class DelayRelay {
 public:
  DelayRelay(int upstreamPort, std::chrono::milliseconds delay) : upstreamPort_(upstreamPort), delay_(delay) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(listener_, 64) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
      return;
    }
    port_ = ntohs(addr.sin_port);
    acceptor_ = std::thread([this] { acceptLoop(); });
  }
  ~DelayRelay() {
    stopping_ = true;
    ::shutdown(listener_, SHUT_RDWR);
    {
      std::lock_guard lock(mutex_);
      for (int fd : open_) ::shutdown(fd, SHUT_RDWR);
    }
    if (acceptor_.joinable()) acceptor_.join();
    for (auto& t : relays_) t.join();
    ::close(listener_);
  }
  int port() const { return port_; }

 private:
  void acceptLoop() {
    for (;;) {
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0 || stopping_) {
        if (client >= 0) ::close(client);
        return;
      }
      std::lock_guard lock(mutex_);
      open_.push_back(client);
      relays_.emplace_back([this, client] { relay(client); });
    }
  }
  void relay(int client) {
    std::this_thread::sleep_for(delay_);  // the simulated distance
    const int upstream = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<std::uint16_t>(upstreamPort_));
    if (!stopping_ && ::connect(upstream, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
      {
        std::lock_guard lock(mutex_);
        open_.push_back(upstream);
      }
      pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
      char buffer[16384];
      for (bool open = true; open && !stopping_;) {
        if (::poll(fds, 2, 200) < 0) break;
        for (int i = 0; i < 2 && open; ++i) {
          if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
          const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
          open = n > 0 && ::send(fds[1 - i].fd, buffer, static_cast<std::size_t>(n), MSG_NOSIGNAL) == n;
        }
      }
    }
    std::lock_guard lock(mutex_);
    std::erase(open_, client);
    std::erase(open_, upstream);
    ::close(upstream);
    ::close(client);
  }

  const int upstreamPort_;
  const std::chrono::milliseconds delay_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::thread acceptor_;
  std::mutex mutex_;
  std::vector<int> open_;            // guarded by mutex_
  std::vector<std::thread> relays_;  // guarded by mutex_ (joined after the acceptor)
};

PlistValue channelRecord();

// Heap in use by this process, in kilobytes.
double heapKb() { return static_cast<double>(mallinfo2().uordblks) / 1024.0; }

double median(std::vector<double> v) {
  if (v.empty()) return -1;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

double msSince(Clock::time_point t0, Clock::time_point t) {
  return std::chrono::duration<double, std::milli>(t - t0).count();
}

struct Radio {
  SilentPage page;
  std::unique_ptr<MainViewController> controller;
  int playing = 0;  // Playing notifications so far
  Clock::time_point playingAt;

  explicit Radio(bool prefetch) {
    MainViewController::Options options;
    options.prefetch = prefetch;
    controller = std::make_unique<MainViewController>(page, std::move(options));
    MainViewController::Hooks hooks;
    hooks.playerStateChanged = [this](StreamerState state) {
      if (state != StreamerState::Playing) return;
      ++playing;
      playingAt = Clock::now();
    };
    controller->setHooks(std::move(hooks));
    controller->setStation(channelRecord());
  }

  struct Times {
    double playing = -1;  // ms to Playing
    double sound = -1;    // ms to the first non-silent sample at the sink
  };

  // Runs `action` and waits for the next Playing and the first sound after it (20 s at most each).
  template <typename F>
  Times measure(F action) {
    const int before = playing;
    soundprobe::arm();
    const auto t0 = Clock::now();
    action();
    Times times;
    if (!runMainLoopUntil([&] { return playing > before && soundprobe::firstSound(); },
                          std::chrono::seconds(20))) {
      return times;
    }
    times.playing = msSince(t0, playingAt);
    times.sound = msSince(t0, *soundprobe::firstSound());
    return times;
  }

  // Waits until the next track's head is held (the prefetch had its time); false after 10 s. The
  // last track of a queue has no next one to hold (the refill is not known yet): the radio is moved
  // on to the next queue first, untimed.
  bool waitPrefetched() {
    const auto& queue = controller->queue();
    if (queue.length() > 0 && queue.index() == queue.length() - 1) {
      const int before = playing;
      controller->nextTrack(Sender::reason(skipreason::kMediaKey));
      if (!runMainLoopUntil([&] { return playing > before; }, std::chrono::seconds(20))) return false;
    }
    return runMainLoopUntil([&] { return controller->prefetch().heldBytes() > 0; }, std::chrono::seconds(10));
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

void report(benchmark::State& st, const std::vector<double>& playing, const std::vector<double>& sound) {
  st.counters["playing_ms"] = median(playing);
  st.counters["sound_ms"] = median(sound);
  st.counters["sound_max_ms"] = sound.empty() ? -1 : *std::max_element(sound.begin(), sound.end());
}

void BM_ChannelToSound(benchmark::State& st) {
  Radio radio(st.range(0) != 0);
  radio.controller->awakeFromNib();
  if (radio.measure([] {}).sound < 0) return st.SkipWithError("no station answering, or nothing plays");
  std::vector<double> playing, sound;
  for (auto _ : st) {
    const auto t = radio.measure([] { chooseChannel(); });
    if (t.sound < 0) return st.SkipWithError("channel did not sound within 20 s");
    playing.push_back(t.playing);
    sound.push_back(t.sound);
    st.SetIterationTime(t.sound / 1000.0);
  }
  report(st, playing, sound);
}
BENCHMARK(BM_ChannelToSound)
    ->ArgName("prefetch")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(10);

void nextToSound(benchmark::State& st) {
  const bool prefetch = st.range(0) != 0;
  Radio radio(prefetch);
  radio.controller->awakeFromNib();
  if (radio.measure([] {}).sound < 0) return st.SkipWithError("no station answering, or nothing plays");
  std::vector<double> playing, sound;
  std::vector<double> held, before, after;
  for (auto _ : st) {
    if (prefetch) {
      st.PauseTiming();
      if (!radio.waitPrefetched()) return st.SkipWithError("nothing prefetched within 10 s");
      held.push_back(static_cast<double>(radio.controller->prefetch().heldBytes()) / 1024.0);
      st.ResumeTiming();
    }
    before.push_back(heapKb());
    const auto t = radio.measure([&] { radio.controller->nextTrack(Sender::reason(skipreason::kMediaKey)); });
    if (t.sound < 0) return st.SkipWithError("next track did not sound within 20 s");
    after.push_back(heapKb());
    playing.push_back(t.playing);
    sound.push_back(t.sound);
    st.SetIterationTime(t.sound / 1000.0);
  }
  report(st, playing, sound);
  st.counters["heap_before_kb"] = median(before);
  st.counters["heap_after_kb"] = median(after);
  if (prefetch) st.counters["held_kb"] = median(held);
}

void BM_NextToSound(benchmark::State& st) { nextToSound(st); }
BENCHMARK(BM_NextToSound)
    ->ArgName("prefetch")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

void BM_NextToSoundFar(benchmark::State& st) {
  const char* service = std::getenv("TONVERA_SERVICE_URL");
  const std::string base = service && *service ? service : "http://127.0.0.1:7650";
  const auto colon = base.rfind(':');
  const int stationPort = colon == std::string::npos ? 7650 : std::atoi(base.c_str() + colon + 1);
  const char* delay = std::getenv("TONVERA_BENCH_DELAY_MS");
  DelayRelay relay(stationPort, std::chrono::milliseconds(delay && *delay ? std::atoi(delay) : 50));
  if (relay.port() == 0) return st.SkipWithError("no relay");
  setenv("TONVERA_SERVICE_URL", ("http://127.0.0.1:" + std::to_string(relay.port())).c_str(), 1);
  nextToSound(st);
  setenv("TONVERA_SERVICE_URL", base.c_str(), 1);
}
BENCHMARK(BM_NextToSoundFar)
    ->ArgName("prefetch")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace
