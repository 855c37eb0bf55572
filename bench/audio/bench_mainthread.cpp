// How long the main thread waits inside the stream player while it plays: 200 mixed control
// calls (pause, resume, seek, stop and a fresh start after a stop), with the read-outs of a
// 0.1 s tick (state, is..., progress, duration, bitRate) in between, over a loopback server and
// the null:realtime sink (paced like a sound card, so the output thread blocks as on a device).
// Counters, in milliseconds: control_max and control_p99 over the control calls, read_max and
// read_p99 over the read-outs (a window freezes for as long as the longest of them), and the
// longest of each kind of control call. Calls over 2 ms are told apart by what kept them: slow_waited
// counts those in which the main thread went to sleep (a lock or a wait: something to fix),
// slow_preempted those in which it only lost the processor to other work (the machine's load).
// The 60 s MP3 is made once with ffmpeg in a temporary folder.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "audio/audiostreamer.h"
#include "platform/mainqueue.h"
#include "main_loop.h"
#include "support/track_server.h"

namespace {

using namespace tonvera;
using Clock = std::chrono::steady_clock;

constexpr double kSlowMs = 2.0;
int slowWaited = 0;
int slowPreempted = 0;

template <typename F>
double timedMs(F&& call) {
  rusage before{};
  getrusage(RUSAGE_THREAD, &before);
  const auto begin = Clock::now();
  call();
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
  if (ms > kSlowMs) {
    rusage after{};
    getrusage(RUSAGE_THREAD, &after);
    // A voluntary switch: the thread slept (lock, condition, I/O); otherwise it was only preempted.
    if (after.ru_nvcsw > before.ru_nvcsw) {
      ++slowWaited;
    } else {
      ++slowPreempted;
    }
  }
  return ms;
}

double percentile(std::vector<double> values, double p) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const auto i = static_cast<std::size_t>(p * double(values.size() - 1) + 0.5);
  return values[std::min(i, values.size() - 1)];
}

// One 0.1 s tick of a window: lets the main loop run, then reads what the window shows.
void tick(AudioStreamer& player, std::vector<double>& reads) {
  runMainLoopUntil([] { return false; }, std::chrono::milliseconds(100));
  reads.push_back(timedMs([&] { benchmark::DoNotOptimize(player.state()); }));
  reads.push_back(timedMs([&] { benchmark::DoNotOptimize(player.isPlaying() || player.isPaused() || player.isIdle()); }));
  reads.push_back(timedMs([&] { benchmark::DoNotOptimize(player.isWaiting()); }));
  reads.push_back(timedMs([&] { benchmark::DoNotOptimize(player.progress()); }));
  reads.push_back(timedMs([&] { benchmark::DoNotOptimize(player.duration()); }));
  reads.push_back(timedMs([&] { benchmark::DoNotOptimize(player.bitRate()); }));
}

void BM_MainThreadStall(benchmark::State& state) {
  ::setenv("TONVERA_AUDIO_SINK", "null:realtime", 1);
  static bench::TrackServer server("tonvera-bench-60s.mp3",
                                   "-f lavfi -i sine=f=440:d=60 -ar 44100 -ac 2 -c:a libmp3lame -b:a 128k");
  std::vector<double> control, reads, pauses, seeks, stops, starts;
  std::mt19937 random(15);
  for (auto _ : state) {
    auto player = std::make_unique<AudioStreamer>(server.url());
    player->start();
    runMainLoopUntil([&] { return player->isPlaying(); }, std::chrono::seconds(10));
    for (int call = 0; call < 200; ++call) {
      const int kind = call % 10;
      if (kind == 9) {
        stops.push_back(timedMs([&] { player->stop(); }));
        control.push_back(stops.back());
        runMainLoopUntil([&] { return player->isIdle(); }, std::chrono::seconds(10));
        player = std::make_unique<AudioStreamer>(server.url());
        starts.push_back(timedMs([&] { player->start(); }));
        control.push_back(starts.back());
        runMainLoopUntil([&] { return player->isPlaying(); }, std::chrono::seconds(10));
      } else if (kind % 3 == 0) {
        const double to = std::uniform_real_distribution<double>(0.0, 50.0)(random);
        seeks.push_back(timedMs([&] { player->seekToTime(to); }));
        control.push_back(seeks.back());
      } else {
        // pause while playing, resume while paused
        pauses.push_back(timedMs([&] { player->pause(); }));
        control.push_back(pauses.back());
      }
      tick(*player, reads);
      tick(*player, reads);
    }
    player->stop();
    runMainLoopUntil([&] { return player->isIdle(); }, std::chrono::seconds(10));
  }
  state.counters["control_max"] = percentile(control, 1.0);
  state.counters["control_p99"] = percentile(control, 0.99);
  state.counters["read_max"] = percentile(reads, 1.0);
  state.counters["read_p99"] = percentile(reads, 0.99);
  state.counters["calls"] = double(control.size());
  state.counters["slow_waited"] = slowWaited;
  state.counters["slow_preempted"] = slowPreempted;
  // Which call the longest waits come from.
  state.counters["pause_max"] = percentile(pauses, 1.0);
  state.counters["seek_max"] = percentile(seeks, 1.0);
  state.counters["stop_max"] = percentile(stops, 1.0);
  state.counters["start_max"] = percentile(starts, 1.0);
}
BENCHMARK(BM_MainThreadStall)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
