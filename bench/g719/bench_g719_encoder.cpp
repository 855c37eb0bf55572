// Coding speed of the G.719 encoder and the PURE writer. Mono: one 20 ms channel frame per
// iteration; stereo: one PURE frame (two channels, scrambled) per iteration. items_per_second is
// frames per second of one core; real time needs 50. The inputs are the two encoder inputs of the
// shared G.719 material (speech_en left, castanets right in stereo), cycled.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "audio/g719/g719_encoder.h"
#include "audio/g719/pure_writer.h"

namespace {

std::vector<std::int16_t> readSource(const std::string& name) {
  std::ifstream f(std::string(TONVERA_SHARED_DIR) + "/g719/vectors/" + name + "_src.pcm", std::ios::binary);
  const std::vector<char> bytes{std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
  std::vector<std::int16_t> pcm(bytes.size() / 2);
  for (std::size_t i = 0; i < pcm.size(); ++i) {
    pcm[i] = static_cast<std::int16_t>(static_cast<std::uint8_t>(bytes[2 * i]) |
                                       static_cast<std::uint8_t>(bytes[2 * i + 1]) << 8);
  }
  return pcm;
}

void encodeMono(benchmark::State& st, const std::string& name, int rate) {
  const std::vector<std::int16_t> pcm = readSource(name);
  const std::size_t frames = pcm.size() / 960;
  if (frames == 0) {
    st.SkipWithError("source not found");
    return;
  }
  tonvera::G719EncoderState state;
  tonvera::g719EncoderInit(state, 20 * rate);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(tonvera::g719EncodedBytes(state)));
  std::size_t f = 0;
  for (auto _ : st) {
    tonvera::g719EncodeFrame(std::span<const std::int16_t, 960>(pcm.data() + 960 * f, 960), out, state);
    benchmark::DoNotOptimize(out.data());
    if (++f == frames) f = 0;
  }
  st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations()));
}

void encodeStereo(benchmark::State& st, int rate) {
  const std::vector<std::int16_t> left = readSource("speech_en");
  const std::vector<std::int16_t> right = readSource("castanets");
  const std::size_t frames = std::min(left.size(), right.size()) / 960;
  if (frames == 0) {
    st.SkipWithError("source not found");
    return;
  }
  std::vector<std::int16_t> stereo(frames * 1920);
  for (std::size_t i = 0; i < frames * 960; ++i) {
    stereo[2 * i] = left[i];
    stereo[2 * i + 1] = right[i];
  }
  auto encoder = tonvera::PureEncoder::create(rate);
  std::vector<std::uint8_t> out(static_cast<std::size_t>(encoder->frameBytes()));
  std::size_t f = 0;
  for (auto _ : st) {
    encoder->encodeFrame(std::span<const std::int16_t, 1920>(stereo.data() + 1920 * f, 1920), out);
    benchmark::DoNotOptimize(out.data());
    if (++f == frames) f = 0;
  }
  st.SetItemsProcessed(static_cast<std::int64_t>(st.iterations()));
  st.counters["x_realtime"] =
      benchmark::Counter(static_cast<double>(st.iterations()) / 50.0, benchmark::Counter::kIsRate);
}

void registerAll() {
  for (const int rate : {32, 64, 128}) {
    for (const char* name : {"speech_en", "castanets"}) {
      benchmark::RegisterBenchmark((std::string("G719Encode/") + name + "/R" + std::to_string(rate)).c_str(),
                                   [name, rate](benchmark::State& st) { encodeMono(st, name, rate); });
    }
  }
  for (const int rate : {32, 64, 128}) {
    benchmark::RegisterBenchmark(("PureEncodeStereo/R" + std::to_string(rate)).c_str(),
                                 [rate](benchmark::State& st) { encodeStereo(st, rate); });
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
