// Speed of the PURE layer: one whole public PURE file per iteration, read in 2048-byte chunks as
// the players read, framed, descrambled and decoded into stereo PCM. items_per_second counts
// stereo frames (20 ms each): real time needs 50; "x_realtime" is audio seconds per second.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/g719/purecodec.h"

namespace {

std::vector<std::uint8_t> readPure(const std::string& name) {
  std::ifstream f(std::string(TONVERA_SHARED_DIR) + "/g719/pure/" + name + ".pur", std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

void decodeFile(benchmark::State& st, const std::string& name) {
  const std::vector<std::uint8_t> file = readPure(name);
  const auto header = tonvera::parsePureHeader(file);
  if (!header) {
    st.SkipWithError("file not found or refused");
    return;
  }
  std::vector<std::uint8_t> bytes;
  std::int16_t pcm[tonvera::kPureFramePcmSamples];
  std::int64_t frames = 0;
  for (auto _ : st) {
    // Descrambling works in place: every pass starts from a fresh copy, as from a fresh read.
    bytes.assign(file.begin() + tonvera::kPureHeaderBytes, file.end());
    const auto codec = tonvera::pureCodecCreate(&*header);
    tonvera::PureFramer framer(tonvera::pureFrameBytes(header->m_ucBPS));
    for (std::size_t pos = 0; pos < bytes.size(); pos += 2048) {
      std::span<std::uint8_t> chunk(bytes.data() + pos, std::min<std::size_t>(2048, bytes.size() - pos));
      while (!chunk.empty()) {
        const auto frame = framer.next(chunk);
        if (frame.empty()) break;
        tonvera::pureDecodeFrame(codec.get(), frame, pcm);
        benchmark::DoNotOptimize(pcm);
        ++frames;
      }
    }
  }
  st.SetItemsProcessed(frames);
  st.counters["x_realtime"] = benchmark::Counter(static_cast<double>(frames) / tonvera::kPureFramesPerSecond,
                                                 benchmark::Counter::kIsRate);
}

void registerAll() {
  for (const char* name : {"en_chord_r64", "en_sweep_r32", "sweep_noisefull_r128"}) {
    benchmark::RegisterBenchmark((std::string("PureDecode/") + name).c_str(), [name](benchmark::State& st) {
      decodeFile(st, name);
    })->Unit(benchmark::kMillisecond);
  }
}

const int kRegistered = (registerAll(), 0);

}  // namespace

BENCHMARK_MAIN();
