// Stream player figures, over a loopback server, through the null sink (set here):
// - BM_PlayThreeMinutes: CPU seconds (all threads) to play a 3-minute 128 kbit/s MP3, with the
//   counter cpu_ratio = that / CPU seconds of `ffmpeg -v quiet -i FILE -f null -` in the same run.
// - BM_StartToPlaying: milliseconds from start() to Playing (null:realtime sink).
// The MP3 is made once with ffmpeg in a temporary folder.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "audio/audiostreamer.h"
#include "platform/mainqueue.h"
#include "main_loop.h"
#include "support/track_server.h"

namespace {

using namespace tonvera;

// Three minutes of a tone and pink noise, 128 kbit/s.
bench::TrackServer& fixture() {
  static bench::TrackServer f("tonvera-bench-3min.mp3",
                              "-f lavfi -i sine=f=440:d=180 -f lavfi -i anoisesrc=d=180:c=pink:seed=3:a=0.1 "
                              "-filter_complex '[0][1]amerge=inputs=2' -ar 44100 -c:a libmp3lame -b:a 128k");
  return f;
}

double childCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_CHILDREN, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}
double selfCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void BM_PlayThreeMinutes(benchmark::State& state) {
  ::setenv("TONVERA_AUDIO_SINK", "null", 1);
  bench::TrackServer& f = fixture();
  double player = 0, ffmpeg = 0;
  for (auto _ : state) {
    const double before = selfCpuSeconds();
    AudioStreamer streamer(f.url());
    streamer.start();
    runMainLoopUntil([&] { return streamer.isIdle(); }, std::chrono::minutes(5));
    player += selfCpuSeconds() - before;
    state.PauseTiming();
    const double c = childCpuSeconds();
    const std::string cmd = "ffmpeg -v quiet -i " + f.path() + " -f null -";
    if (std::system(cmd.c_str()) != 0) state.SkipWithError("ffmpeg failed");
    ffmpeg += childCpuSeconds() - c;
    state.ResumeTiming();
  }
  state.counters["player_cpu_s"] = player / double(state.iterations());
  state.counters["ffmpeg_cpu_s"] = ffmpeg / double(state.iterations());
  state.counters["cpu_ratio"] = ffmpeg > 0 ? player / ffmpeg : 0;
}
BENCHMARK(BM_PlayThreeMinutes)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_StartToPlaying(benchmark::State& state) {
  ::setenv("TONVERA_AUDIO_SINK", "null:realtime", 1);
  bench::TrackServer& f = fixture();
  for (auto _ : state) {
    AudioStreamer streamer(f.url());
    const auto begin = std::chrono::steady_clock::now();
    streamer.start();
    runMainLoopUntil([&] { return streamer.isPlaying(); }, std::chrono::seconds(10));
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count());
    streamer.stop();
    runMainLoopUntil([&] { return streamer.isIdle(); }, std::chrono::seconds(10));
  }
}
BENCHMARK(BM_StartToPlaying)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
