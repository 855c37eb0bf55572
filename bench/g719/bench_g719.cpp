// Decoding speed of the G.719 decoder: one mono channel frame (20 ms) per iteration, cycling
// through a whole reference stream held in memory. items_per_second is frames per second of
// one core; real time needs 50 per channel.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/g719/g719_decoder.h"

namespace {

std::vector<std::uint8_t> readVector(const std::string& name) {
  std::ifstream f(std::string(TONVERA_SHARED_DIR) + "/g719/vectors/" + name + ".bits", std::ios::binary);
  return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Soft bits of every frame, prepared once, as the stream layer hands them to the decoder.
std::vector<std::uint16_t> softBits(const std::vector<std::uint8_t>& bytes) {
  std::vector<std::uint16_t> soft(bytes.size() * 8);
  for (std::size_t k = 0; k < soft.size(); ++k) {
    soft[k] = (bytes[k >> 3] >> (7 - (k & 7))) & 1 ? tonvera::kG719SoftOne : tonvera::kG719SoftZero;
  }
  return soft;
}

void decodeVector(benchmark::State& st, const std::string& name, int rate, bool packed) {
  const std::vector<std::uint8_t> bytes = readVector(name);
  const std::size_t frameBits = 20u * rate;
  const std::size_t frames = bytes.size() * 8 / frameBits;
  if (frames == 0) {
    st.SkipWithError("vector not found");
    return;
  }
  const std::vector<std::uint16_t> soft = softBits(bytes);
  tonvera::G719ChannelState state{};
  tonvera::g719Init(state, static_cast<int>(frameBits));
  std::int16_t out[960];
  std::size_t f = 0;
  for (auto _ : st) {
    tonvera::g719ResetBitCounts(state, static_cast<int>(frameBits));
    if (packed) {
      tonvera::g719DecodePackedFrame(std::span(bytes).subspan(f * frameBits / 8, frameBits / 8), false, out,
                                     state);
    } else {
      tonvera::g719DecodeFrame(std::span(soft).subspan(f * frameBits, frameBits), false, out, state);
    }
    benchmark::DoNotOptimize(out);
    if (++f == frames) f = 0;
  }
  st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations()));
}

void registerAll() {
  const struct {
    const char* name;
    int rate;
  } vectors[] = {{"speech_en_r32", 32}, {"speech_en_r64", 64}, {"speech_en_r128", 128},
                 {"castanets_r48", 48}, {"castanets_r64", 64}, {"noise_full_r128", 128},
                 {"sweep_r32", 32}};
  for (const auto& v : vectors) {
    benchmark::RegisterBenchmark((std::string("G719SoftBits/") + v.name).c_str(),
                                 [v](benchmark::State& st) { decodeVector(st, v.name, v.rate, false); });
  }
  for (const auto& v : vectors) {
    benchmark::RegisterBenchmark((std::string("G719Packed/") + v.name).c_str(),
                                 [v](benchmark::State& st) { decodeVector(st, v.name, v.rate, true); });
  }
}

}  // namespace

int main(int argc, char** argv) {
  registerAll();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
