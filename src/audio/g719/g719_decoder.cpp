#include "audio/g719/g719_decoder.h"

#include <algorithm>
#include <cstring>

#include "audio/g719/g719_bitalloc.h"
#include "audio/g719/g719_bitreader.h"
#include "audio/g719/g719_coefficients.h"
#include "audio/g719/g719_tables.h"
#include "audio/g719/g719_transform.h"

namespace tonvera {
namespace {

using namespace g719;

constexpr int kReducedBands = 36;  // bands coded when the band-count flag is 0
constexpr int kNormLevels = 40;
constexpr int kNormBits = 5;
constexpr int kNormOffset = 15;  // differential norm indices are sent offset by 15
constexpr int kShortBlock = 240;
constexpr int kShortCoded = 200;  // coded coefficients of each short block

// The lookup tables below are built at compile time from the generated tables; a throw reached
// while building them stops the build, so the properties they check hold for any table data.

// Differential norm indices: a complete prefix code of 3 to 7 bits, looked up by the next 7 bits.
struct NormLut {
  std::uint8_t value[128];
  std::uint8_t length[128];
};
constexpr NormLut kNormLut = [] {
  NormLut lut{};
  for (const auto& code : kNormHuffman) {
    const int first = code[2] << (7 - code[1]);
    for (int j = first; j < first + (1 << (7 - code[1])); ++j) {
      lut.value[j] = static_cast<std::uint8_t>(code[0]);
      lut.length[j] = static_cast<std::uint8_t>(code[1]);
    }
  }
  for (std::uint8_t len : lut.length) {
    if (len == 0) throw "incomplete norm code";
  }
  return lut;
}();

// Transient frames interleave four short spectra. Every band of the interleaved spectrum lands
// in one contiguous run of one short block; this is where its first coefficient goes.
struct TransientBandTargets {
  std::int16_t start[kBands];
};
constexpr TransientBandTargets kTransientTargets = [] {
  std::int16_t target[kCodedLength] = {};
  for (int s = 0; s < 4; ++s) {
    for (int q = 0; q < kShortCoded; ++q)
      target[kTransientDeinterleave[s][q]] = static_cast<std::int16_t>(kShortBlock * s + q);
  }
  TransientBandTargets t{};
  for (int b = 0; b < kBands; ++b) {
    t.start[b] = target[kBandStart[b]];
    for (int i = 0; i < kBandWidth[b]; ++i) {
      if (target[kBandStart[b] + i] != t.start[b] + i) throw "band not contiguous in its short block";
    }
  }
  return t;
}();

// dst[0..width-1] = x[0..width-1] * g, width a multiple of 8.
inline void scaleBand(const float* __restrict x, float g, int width, float* __restrict dst) {
  for (int i = 0; i < width; i += 8) {
    for (int j = 0; j < 8; ++j) dst[i + j] = x[i + j] * g;
  }
}

struct FrameHeader {
  bool transient;
  int codedBands;
  bool normHuffman;
  bool coefHuffman;
};

// Decodes the bits of one frame into its final spectrum (960 values, transient spectra already
// de-interleaved into four short blocks). Returns the transient flag.
bool decodeSpectrum(const PackedFrame& frame, const G719ChannelState& state, float* spectrum) {
  BitReader in(frame);
  FrameHeader h;
  h.transient = in.read(1) != 0;
  h.codedBands = in.read(1) != 0 ? kBands : kReducedBands;
  h.normHuffman = in.read(1) != 0;
  h.coefHuffman = in.read(1) != 0;

  // Norms in transmission order, then assigned to bands.
  int sent[kBands];
  sent[0] = static_cast<int>(in.read(kNormBits));
  const int normStart = in.position();
  for (int q = 1; q < kBands; ++q) {
    int d;
    if (h.normHuffman) {
      const std::uint32_t p = in.peek(7);
      d = kNormLut.value[p];
      in.skip(kNormLut.length[p]);
    } else {
      d = static_cast<int>(in.read(kNormBits));
    }
    sent[q] = sent[q - 1] + d - kNormOffset;
  }
  const int normBits = in.position() - normStart;
  int norm[kBands];
  int level[kBands];
  for (int b = 0; b < kBands; ++b) {
    const int n = h.transient ? sent[kTransientNormOrder[b]] : sent[b];
    norm[b] = std::clamp(n, 0, kNormLevels - 1);
    level[b] = kNormLog2[norm[b]];
  }

  const int spectrumBits = h.transient ? state.transientBits : state.stationaryBits;
  const int budget = spectrumBits - 3 - kNormBits - normBits;
  BitAllocation alloc;
  allocateBits(level, h.transient, h.codedBands, budget, alloc);

  // Coefficients, normalised.
  alignas(16) float x[kCodedLength];
  const int coefStart = in.position();
  for (int b = 0; b < h.codedBands; ++b) {
    if (alloc.bits[b] != 0) {
      readBand(in, alloc.bits[b], h.coefHuffman, kBandWidth[b], x + kBandStart[b]);
    }
  }
  // Bits the coefficients left unused go to bands without bits, in rank order (rank 0 never).
  int leftover = budget - (in.position() - coefStart);
  for (int i = 1; i < h.codedBands; ++i) {
    const int b = alloc.order[i];
    if (alloc.bits[b] == 0 && leftover >= kBandWidth[b]) {
      alloc.bits[b] = 1;
      readBand(in, 1, false, kBandWidth[b], x + kBandStart[b]);
      leftover -= kBandWidth[b];
    }
  }
  const int noiseLevel = h.transient ? 0 : static_cast<int>(in.read(2));

  fillNoise(x, alloc.bits, h.transient, noiseLevel);

  // Scale by the norms; transient bands go straight to their place in the short blocks.
  for (int b = 0; b < kBands; ++b) {
    const int target = h.transient ? kTransientTargets.start[b] : kBandStart[b];
    scaleBand(x + kBandStart[b], kNormDequant[norm[b]], kBandWidth[b], spectrum + target);
  }
  if (h.transient) {
    for (int s = 0; s < 4; ++s)
      std::fill_n(spectrum + kShortBlock * s + kShortCoded, kShortBlock - kShortCoded, 0.0f);
  } else {
    std::fill(spectrum + kCodedLength, spectrum + kG719FrameSamples, 0.0f);
  }
  return h.transient;
}

void decode(const PackedFrame* frame, bool erasure, std::int16_t* out, G719ChannelState& state) {
  bool transient;
  if (erasure) {
    for (float& v : state.prevSpectrum) {
      v = v / 2.0f;
    }
    transient = state.prevTransient != 0;
  } else {
    transient = decodeSpectrum(*frame, state, state.prevSpectrum);
    state.prevTransient = transient ? 1 : 0;
  }
  if (transient) {
    synthesizeShort(state.prevSpectrum, state.overlap, out);
  } else {
    synthesizeLong(state.prevSpectrum, state.overlap, out);
  }
}

std::int16_t clampBits(int bitsPerFrame) {
  return static_cast<std::int16_t>(std::clamp(bitsPerFrame, 0, kG719MaxFrameBits));
}

}  // namespace

void g719Init(G719ChannelState& state, int bitsPerFrame) {
  std::fill(std::begin(state.overlap), std::end(state.overlap), 0.0f);
  state.prevTransient = 0;
  g719ResetBitCounts(state, bitsPerFrame);
}

void g719ResetBitCounts(G719ChannelState& state, int bitsPerFrame) {
  const std::int16_t bits = clampBits(bitsPerFrame);
  state.bitsPerFrame = bits;
  state.stationaryBits = static_cast<std::int16_t>(bits - 3);
  state.transientBits = static_cast<std::int16_t>(bits - 1);
}

void g719DecodeFrame(std::span<const std::uint16_t> softBits, bool erasure,
                     std::span<std::int16_t, kG719FrameSamples> out, G719ChannelState& state) {
  if (erasure) {
    decode(nullptr, true, out.data(), state);
    return;
  }
  PackedFrame frame;
  packSoftBits(softBits, state.bitsPerFrame, frame);
  decode(&frame, false, out.data(), state);
}

void g719DecodePackedFrame(std::span<const std::uint8_t> bytes, bool erasure,
                           std::span<std::int16_t, kG719FrameSamples> out, G719ChannelState& state) {
  if (erasure) {
    decode(nullptr, true, out.data(), state);
    return;
  }
  PackedFrame frame;
  packBytes(bytes, state.bitsPerFrame, frame);
  decode(&frame, false, out.data(), state);
}

}  // namespace tonvera
