// AAC stream figures over a loopback server, through the null sink (set here), for a 3-minute
// 128 kbit/s file as ADTS ("audio/aac") and as M4A ("audio/x-m4a", "moov" first):
// - BM_PlayAac: CPU seconds (all threads) per minute of audio; counter cpu_ratio = that / CPU
//   seconds per minute of `ffmpeg -v quiet -i FILE -f null -` in the same run.
// - BM_StartToPlaying: milliseconds from start() to Playing; counter time_ratio = that / the wall
//   time of the same ffmpeg command in the same run.
// The files are made once with ffmpeg in a temporary folder.
#include <benchmark/benchmark.h>
#include <httplib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <thread>

#include "audio/audiostreamer.h"
#include "platform/mainqueue.h"
#include "main_loop.h"

namespace {

using namespace tonvera;
using Clock = std::chrono::steady_clock;

constexpr double kMinutes = 3.0;

struct Served {
  std::string path;
  std::string body;
  std::string mime;
};

struct Fixture {
  std::map<int, Served> files;  // 0: ADTS, 1: M4A
  httplib::Server server;
  std::thread thread;
  int port = 0;

  Fixture() {
    const std::string dir = std::filesystem::temp_directory_path().string();
    const std::string source =
        "-f lavfi -i sine=f=440:d=180 -f lavfi -i anoisesrc=d=180:c=pink:seed=3:a=0.1 "
        "-filter_complex '[0][1]amerge=inputs=2' -ar 44100 -c:a aac -b:a 128k ";
    files[0] = {dir + "/tonvera-bench-3min.aac", {}, "audio/aac"};
    files[1] = {dir + "/tonvera-bench-3min.m4a", {}, "audio/x-m4a"};
    const char* formats[] = {"-f adts ", "-movflags +faststart -f ipod "};
    for (auto& [kind, file] : files) {
      if (!std::filesystem::exists(file.path)) {
        const std::string cmd = "ffmpeg -v error -y " + source + formats[kind] + file.path;
        if (std::system(cmd.c_str()) != 0) std::abort();
      }
      std::ifstream in(file.path, std::ios::binary);
      file.body.assign(std::istreambuf_iterator<char>(in), {});
      server.Get("/track" + std::to_string(kind), [&file](const httplib::Request&, httplib::Response& res) {
        res.set_content(file.body, file.mime.c_str());
      });
    }
    port = server.bind_to_any_port("127.0.0.1");
    thread = std::thread([this] { server.listen_after_bind(); });
    while (!server.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ~Fixture() {
    server.stop();
    thread.join();
  }
  std::string url(int kind) const {
    return "http://127.0.0.1:" + std::to_string(port) + "/track" + std::to_string(kind);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

double cpuSeconds(int who) {
  rusage u{};
  getrusage(who, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// ffmpeg's decode of the same file: CPU seconds and wall seconds.
std::pair<double, double> ffmpegDecode(const std::string& path) {
  const double cpu = cpuSeconds(RUSAGE_CHILDREN);
  const auto begin = Clock::now();
  const std::string cmd = "ffmpeg -v quiet -i " + path + " -f null -";
  if (std::system(cmd.c_str()) != 0) return {0, 0};
  return {cpuSeconds(RUSAGE_CHILDREN) - cpu, std::chrono::duration<double>(Clock::now() - begin).count()};
}

void BM_PlayAac(benchmark::State& state) {
  ::setenv("TONVERA_AUDIO_SINK", "null", 1);
  Fixture& f = fixture();
  const int kind = int(state.range(0));
  double player = 0, ffmpeg = 0;
  for (auto _ : state) {
    const double before = cpuSeconds(RUSAGE_SELF);
    AudioStreamer streamer(f.url(kind));
    streamer.start();
    runMainLoopUntil([&] { return streamer.isIdle(); }, std::chrono::minutes(5));
    player += cpuSeconds(RUSAGE_SELF) - before;
    if (streamer.errorCode() != StreamerError::None) state.SkipWithError("the player failed");
    state.PauseTiming();
    ffmpeg += ffmpegDecode(f.files[kind].path).first;
    state.ResumeTiming();
  }
  const double n = double(state.iterations());
  state.counters["player_cpu_s_per_min"] = player / n / kMinutes;
  state.counters["ffmpeg_cpu_s_per_min"] = ffmpeg / n / kMinutes;
  state.counters["cpu_ratio"] = ffmpeg > 0 ? player / ffmpeg : 0;
  state.SetLabel(kind == 0 ? "ADTS" : "M4A");
}
BENCHMARK(BM_PlayAac)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_StartToPlaying(benchmark::State& state) {
  ::setenv("TONVERA_AUDIO_SINK", "null", 1);
  Fixture& f = fixture();
  const int kind = int(state.range(0));
  double player = 0, ffmpeg = 0;
  for (auto _ : state) {
    auto streamer = std::make_unique<AudioStreamer>(f.url(kind));
    const auto begin = Clock::now();
    streamer->start();
    runMainLoopUntil([&] { return streamer->isPlaying() || streamer->isIdle(); }, std::chrono::seconds(10));
    const double seconds = std::chrono::duration<double>(Clock::now() - begin).count();
    state.SetIterationTime(seconds);
    player += seconds;
    state.PauseTiming();
    streamer->stop();
    runMainLoopUntil([&] { return streamer->isIdle(); }, std::chrono::seconds(10));
    streamer.reset();
    ffmpeg += ffmpegDecode(f.files[kind].path).second;
    state.ResumeTiming();
  }
  state.counters["ffmpeg_wall_ms"] = ffmpeg / double(state.iterations()) * 1000;
  state.counters["time_ratio"] = ffmpeg > 0 ? player / ffmpeg : 0;
  state.SetLabel(kind == 0 ? "ADTS" : "M4A");
}
BENCHMARK(BM_StartToPlaying)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
