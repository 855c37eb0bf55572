#include "audio/g719/g719_decoder.h"

#include <algorithm>
#include <cstring>

#include "audio/g719/g719_bitalloc.h"
#include "audio/g719/g719_bitreader.h"
#include "audio/g719/g719_tables.h"
#include "audio/g719/g719_transform.h"

namespace tonvera {
namespace {

using namespace g719;

constexpr int kCodedLength = 800;  // coefficients 0..799 carry the coded bands
constexpr int kReducedBands = 36;  // bands coded when the band-count flag is 0
constexpr int kNormLevels = 40;
constexpr int kNormBits = 5;
constexpr int kNormOffset = 15;  // differential norm indices are sent offset by 15
constexpr float kLatticeOffset = 1.0f / 64.0f;

// Prefix-code lookup: the next maxLength bits index the entry of the codeword they start with.
// Every table is a complete prefix code, so every entry is filled.
template <int MaxLength>
struct HuffmanLut {
  std::uint8_t value[1 << MaxLength];
  std::uint8_t length[1 << MaxLength];
};

template <int MaxLength, int Size>
constexpr HuffmanLut<MaxLength> makeLut(const std::int16_t (&code)[Size][3]) {
  HuffmanLut<MaxLength> lut{};
  for (int i = 0; i < Size; ++i) {
    const int len = code[i][1];
    const int first = code[i][2] << (MaxLength - len);
    for (int j = first; j < first + (1 << (MaxLength - len)); ++j) {
      lut.value[j] = static_cast<std::uint8_t>(code[i][0]);
      lut.length[j] = static_cast<std::uint8_t>(len);
    }
  }
  return lut;
}

template <int MaxLength>
constexpr bool complete(const HuffmanLut<MaxLength>& lut) {
  for (int j = 0; j < (1 << MaxLength); ++j) {
    if (lut.length[j] == 0) {
      return false;
    }
  }
  return true;
}

constexpr auto kNormLut = makeLut<7>(kNormHuffman);
constexpr auto kCoefLut2 = makeLut<3>(kCoefHuffman2);
constexpr auto kCoefLut3 = makeLut<5>(kCoefHuffman3);
constexpr auto kCoefLut4 = makeLut<6>(kCoefHuffman4);
constexpr auto kCoefLut5 = makeLut<7>(kCoefHuffman5);
static_assert(complete(kNormLut) && complete(kCoefLut2) && complete(kCoefLut3) && complete(kCoefLut4) &&
              complete(kCoefLut5));

// Normalised values of the 1-bit code: entry v + 2 is v / 1.1 + 1/64 for v = -2..2 (a true
// division by the float nearest to 1.1, then the addition; both exact IEEE operations, so the
// compile-time values equal the run-time ones).
struct OneBitValues {
  float v[5];
};
constexpr OneBitValues kOneBit = [] {
  OneBitValues t{};
  for (int v = -2; v <= 2; ++v) {
    t.v[v + 2] = static_cast<float>(v) / 1.1f + kLatticeOffset;
  }
  return t;
}();

// Reads one block of 8 coefficients of a band with 1 bit per coefficient. previous: the
// previous block's index in the same band, or -1 for the band's first block.
inline int readOneBitBlock(BitReader& in, int previous, float* x) {
  const int index = static_cast<int>(in.read(8));
  if (previous >= 0 && previous < 128 && index < 16) {
    for (int i = 0; i < 8; ++i) {
      x[i] = kLatticeOffset;
    }
  } else {
    for (int i = 0; i < 8; ++i) {
      x[i] = kOneBit.v[kLvq1Codebook[index][i] + 2];
    }
  }
  return index;
}

inline void readOneBitBand(BitReader& in, int width, float* x) {
  int previous = -1;
  for (int blk = 0; blk < width; blk += 8) {
    previous = readOneBitBlock(in, previous, x + blk);
  }
}

// Lattice point of one block of 8 indices with R = 2..9 bits each, normalised.
inline void decodeLattice(const int* k, int bits, float* x) {
  const int q = 13 - bits;
  const int sigma = q - bits;
  const int half = 1 << (q - 1);
  int a[8];
  a[0] = 2 * k[0];
  for (int i = 1; i < 8; ++i) {
    a[0] += k[i];
    a[i] = k[i];
  }
  int z[8];
  int c[8];
  int parity = 0;
  for (int i = 0; i < 8; ++i) {
    z[i] = sigma >= 0 ? a[i] << sigma : a[i] >> -sigma;
    c[i] = z[i] >> q;
    if (z[i] - (c[i] << q) > half) {
      ++c[i];
    }
    parity += c[i];
  }
  if (parity & 1) {
    // Move the coordinate with the largest rounding error one step toward z.
    int j = 0;
    int largest = -1;
    int sign = 0;
    for (int i = 0; i < 8; ++i) {
      const int e = z[i] - (c[i] << q);
      const int mag = e < 0 ? -e : e;
      if (mag > largest) {
        largest = mag;
        j = i;
        sign = e;
      }
    }
    c[j] += sign >= 0 ? 1 : -1;
  }
  const float scale = 6.0f / static_cast<float>(1 << bits);
  x[0] = static_cast<float>(a[0] - (c[0] << bits)) * scale + kLatticeOffset;
  for (int i = 1; i < 8; ++i) {
    x[i] = static_cast<float>(k[i] - (c[i] << bits)) * scale + kLatticeOffset;
  }
}

template <int MaxLength>
inline void readHuffmanBlock(BitReader& in, const HuffmanLut<MaxLength>& lut, int* k) {
  for (int i = 0; i < 8; ++i) {
    const std::uint32_t p = in.peek(MaxLength);
    k[i] = lut.value[p];
    in.skip(lut.length[p]);
  }
}

inline void readBand(BitReader& in, int bits, bool huffman, int width, float* x) {
  if (bits == 1) {
    readOneBitBand(in, width, x);
    return;
  }
  int k[8];
  for (int blk = 0; blk < width; blk += 8) {
    if (huffman && bits <= 5) {
      switch (bits) {
        case 2:
          readHuffmanBlock(in, kCoefLut2, k);
          break;
        case 3:
          readHuffmanBlock(in, kCoefLut3, k);
          break;
        case 4:
          readHuffmanBlock(in, kCoefLut4, k);
          break;
        default:
          readHuffmanBlock(in, kCoefLut5, k);
          break;
      }
    } else {
      for (int i = 0; i < 8; ++i) {
        k[i] = static_cast<int>(in.read(bits));
      }
    }
    decodeLattice(k, bits, x + blk);
  }
}

// Fills the bands without bits from the coded values (normalised spectrum x[0..799]).
void fillNoise(float* x, const std::int8_t* bits, bool transient, int noiseLevel) {
  alignas(16) float codebook[kCodedLength];
  int size = 0;
  int last = -1;
  for (int b = 0; b < kBands; ++b) {
    if (bits[b] != 0) {
      std::memcpy(codebook + size, x + kBandStart[b], sizeof(float) * kBandWidth[b]);
      size += kBandWidth[b];
      last = b;
    }
  }
  if (size == 0) {
    std::fill(x, x + kCodedLength, 0.0f);
    return;
  }
  if (transient) {
    last = kBands - 1;
  }
  int pos = 0;
  for (int b = 0; b <= last; ++b) {
    if (bits[b] != 0) {
      continue;
    }
    float* dst = x + kBandStart[b];
    for (int i = 0; i < kBandWidth[b]; ++i) {
      dst[i] = codebook[pos];
      if (++pos == size) {
        pos = 0;
      }
    }
  }
  if (last < kBands - 1) {
    // Mirror the spectrum below the last coded band's end upward: the source walks down
    // to half that frequency and back up, repeating the turning points.
    const int end = kBandStart[last] + kBandWidth[last];
    const int low = end >> 1;
    int src = end - 1;
    bool down = true;
    for (int pos2 = end; pos2 < kCodedLength; ++pos2) {
      x[pos2] = x[src];
      if (down) {
        if (src == low) {
          down = false;
        } else {
          --src;
        }
      } else if (src == end - 1) {
        down = true;
        src = end;
      } else {
        ++src;
      }
    }
  }
  // The noise level attenuates the filled bands up to the last coded one; the mirrored part
  // above was copied before this and keeps its level.
  if (noiseLevel != 0) {
    const float divisor = static_cast<float>(1 << noiseLevel);
    for (int b = 0; b <= last; ++b) {
      if (bits[b] == 0) {
        float* dst = x + kBandStart[b];
        for (int i = 0; i < kBandWidth[b]; ++i) {
          dst[i] = dst[i] / divisor;
        }
      }
    }
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
      readOneBitBand(in, kBandWidth[b], x + kBandStart[b]);
      leftover -= kBandWidth[b];
    }
  }
  const int noiseLevel = h.transient ? 0 : static_cast<int>(in.read(2));

  fillNoise(x, alloc.bits, h.transient, noiseLevel);

  // Scale by the norms.
  float* scaled = spectrum;
  alignas(16) float interleaved[kCodedLength];
  if (h.transient) {
    scaled = interleaved;
  }
  for (int b = 0; b < kBands; ++b) {
    const float g = kNormDequant[norm[b]];
    const int start = kBandStart[b];
    for (int i = start; i < start + kBandWidth[b]; ++i) {
      scaled[i] = x[i] * g;
    }
  }
  if (h.transient) {
    for (int s = 0; s < 4; ++s) {
      float* block = spectrum + 240 * s;
      for (int q = 0; q < 200; ++q) {
        block[q] = interleaved[kTransientDeinterleave[s][q]];
      }
      std::fill(block + 200, block + 240, 0.0f);
    }
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
