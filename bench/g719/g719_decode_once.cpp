// Decodes one packed mono G.719 stream once, frame by frame through g719DecodeFrame, and writes
// the samples (s16le) when an output path is given. Made for instruction counting:
//   valgrind --tool=callgrind --toggle-collect='tonvera::g719DecodeFrame*' g719_decode_once IN.bits R
// counts the decoder alone; divide by the frame count printed.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

#include "audio/g719/g719_decoder.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s IN.bits RATE [OUT.pcm]\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  const int rate = std::atoi(argv[2]);
  if (rate < 2 || rate > 128 || rate % 2) {
    std::fprintf(stderr, "rate must be even, 2..128\n");
    return 2;
  }
  const int frameBits = 20 * rate;
  const std::size_t frames = bytes.size() * 8 / frameBits;
  std::vector<std::uint16_t> soft(bytes.size() * 8);
  for (std::size_t k = 0; k < soft.size(); ++k) {
    soft[k] = (bytes[k >> 3] >> (7 - (k & 7))) & 1 ? tonvera::kG719SoftOne : tonvera::kG719SoftZero;
  }
  tonvera::G719ChannelState state{};
  tonvera::g719Init(state, frameBits);
  std::vector<std::int16_t> pcm(frames * 960);
  for (std::size_t f = 0; f < frames; ++f) {
    tonvera::g719ResetBitCounts(state, frameBits);
    tonvera::g719DecodeFrame(std::span(soft).subspan(f * frameBits, frameBits), false,
                             std::span<std::int16_t, 960>(&pcm[f * 960], 960), state);
  }
  std::printf("%zu frames\n", frames);
  if (argc > 3) {
    std::ofstream out(argv[3], std::ios::binary);
    for (std::int16_t s : pcm) {
      const char b[2] = {static_cast<char>(s & 0xFF), static_cast<char>((s >> 8) & 0xFF)};
      out.write(b, 2);
    }
  }
  return 0;
}
