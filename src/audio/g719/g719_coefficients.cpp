#include "audio/g719/g719_coefficients.h"

#include <algorithm>
#include <cstring>

#include "audio/g719/g719_bitalloc.h"
#include "audio/g719/g719_tables.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tonvera::g719 {
namespace {

constexpr float kLatticeOffset = 1.0f / 64.0f;

// Prefix-code lookup: the next MaxLength bits index the entry of the codeword they start with.
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

// Every code is a complete prefix code: every bit pattern starts with exactly one codeword, so
// every entry is filled and decoding needs no failure path.
template <int MaxLength>
constexpr bool complete(const HuffmanLut<MaxLength>& lut) {
  for (int j = 0; j < (1 << MaxLength); ++j) {
    if (lut.length[j] == 0) return false;
  }
  return true;
}

constexpr auto kCoefLut2 = makeLut<3>(kCoefHuffman2);
constexpr auto kCoefLut3 = makeLut<5>(kCoefHuffman3);
constexpr auto kCoefLut4 = makeLut<6>(kCoefHuffman4);
constexpr auto kCoefLut5 = makeLut<7>(kCoefHuffman5);
static_assert(complete(kCoefLut2) && complete(kCoefLut3) && complete(kCoefLut4) && complete(kCoefLut5));

// Normalised vectors of the 1-bit code: v / 1.1 + 1/64 for each entry v of a codebook row (a
// true division by the float nearest to 1.1, then the addition; exact IEEE operations, so the
// compile-time values equal run-time ones).
struct OneBitRows {
  alignas(16) float row[256][8];
};
constexpr OneBitRows kOneBitRows = [] {
  OneBitRows t{};
  for (int r = 0; r < 256; ++r) {
    for (int i = 0; i < 8; ++i) t.row[r][i] = static_cast<float>(kLvq1Codebook[r][i]) / 1.1f + kLatticeOffset;
  }
  return t;
}();

inline void copy8(const float* src, float* dst) { std::memcpy(dst, src, 8 * sizeof(float)); }

// A band with 1 bit per coefficient: one 8-bit codebook index per block. A block with a small
// index (< 16) after a block with an index below 128 in the same band is the zero vector.
void readOneBitBand(BitReader& in, int width, float* x) {
  alignas(16) static constexpr float kZero[8] = {kLatticeOffset, kLatticeOffset, kLatticeOffset,
                                                 kLatticeOffset, kLatticeOffset, kLatticeOffset,
                                                 kLatticeOffset, kLatticeOffset};
  int previous = 256;  // no previous block
  for (int blk = 0; blk < width; blk += 8) {
    const int index = static_cast<int>(in.read(8));
    copy8(previous < 128 && index < 16 ? kZero : kOneBitRows.row[index], x + blk);
    previous = index;
  }
}

template <int MaxLength>
inline int readHuffmanBlock(BitReader& in, const HuffmanLut<MaxLength>& lut, std::int16_t* k) {
  int sum = 0;
  for (int i = 0; i < 8; ++i) {
    const std::uint32_t p = in.peek(MaxLength);
    k[i] = lut.value[p];
    sum += k[i];
    in.skip(lut.length[p]);
  }
  return sum;
}

// Eight plain indices of `bits` bits, read four at a time.
inline int readPlainBlock(BitReader& in, int bits, std::int16_t* k) {
  const std::uint64_t mask = (1u << bits) - 1;
  int sum = 0;
  for (int half = 0; half < 8; half += 4) {
    const std::uint64_t v = in.read64(4 * bits);
    for (int i = 0; i < 4; ++i) {
      k[half + i] = static_cast<std::int16_t>((v >> (bits * (3 - i))) & mask);
      sum += k[half + i];
    }
  }
  return sum;
}

}  // namespace

void latticePoint(const std::int16_t* k, int bits, int* y) {
  const int q = 13 - bits;
  const int sigma = q - bits;
  int a[8];
  a[0] = 2 * k[0];
  for (int i = 1; i < 8; ++i) {
    a[i] = k[i];
    a[0] += k[i];
  }
  int z[8];
  int c[8];
  int parity = 0;
  for (int i = 0; i < 8; ++i) {
    z[i] = sigma >= 0 ? a[i] << sigma : a[i] >> -sigma;
    c[i] = z[i] >> q;
    if (z[i] - (c[i] << q) > (1 << (q - 1))) ++c[i];
    parity += c[i];
  }
  if (parity & 1) {
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
  for (int i = 0; i < 8; ++i) y[i] = a[i] - (c[i] << bits);
}

void decodeLatticeBlock(const std::int16_t* k, int bits, float* x) {
  // Lattice D8 inside a Voronoi region of scale 2^bits: the point is a - 2^bits c, with c the
  // D8 point nearest to a 2^sigma / 2^q (ties rounded down; an odd sum is mended at the
  // coordinate with the largest rounding error), as latticePoint does it one coordinate at a time.
  // Every intermediate fits 16 bits.
  const float scale = 6.0f / static_cast<float>(1 << bits);
#if defined(__SSE2__)
  const int q = 13 - bits;
  const int sigma = q - bits;
  int a0 = k[0];
  for (int i = 0; i < 8; ++i) a0 += k[i];
  const __m128i a = _mm_insert_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(k)), a0, 0);
  const __m128i z =
      sigma >= 0 ? _mm_sll_epi16(a, _mm_cvtsi32_si128(sigma)) : _mm_srl_epi16(a, _mm_cvtsi32_si128(-sigma));
  const __m128i qv = _mm_cvtsi32_si128(q);
  __m128i c = _mm_srl_epi16(z, qv);
  const __m128i rem = _mm_and_si128(z, _mm_set1_epi16(static_cast<short>((1 << q) - 1)));
  c = _mm_sub_epi16(c, _mm_cmpgt_epi16(rem, _mm_set1_epi16(static_cast<short>(1 << (q - 1)))));
  const int lowBits = _mm_movemask_epi8(_mm_slli_epi16(c, 15)) & 0xAAAA;
  if (__builtin_parity(static_cast<unsigned>(lowBits))) {
    const __m128i e = _mm_sub_epi16(z, _mm_sll_epi16(c, qv));
    const __m128i mag = _mm_max_epi16(e, _mm_sub_epi16(_mm_setzero_si128(), e));
    __m128i top = _mm_max_epi16(mag, _mm_shuffle_epi32(mag, _MM_SHUFFLE(1, 0, 3, 2)));
    top = _mm_max_epi16(top, _mm_shuffle_epi32(top, _MM_SHUFFLE(2, 3, 0, 1)));
    top = _mm_max_epi16(
        top, _mm_shufflehi_epi16(_mm_shufflelo_epi16(top, _MM_SHUFFLE(2, 3, 0, 1)), _MM_SHUFFLE(2, 3, 0, 1)));
    const int first = __builtin_ctz(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi16(mag, top)))) >> 1;
    const __m128i lane =
        _mm_cmpeq_epi16(_mm_setr_epi16(0, 1, 2, 3, 4, 5, 6, 7), _mm_set1_epi16(static_cast<short>(first)));
    const __m128i step = _mm_or_si128(_mm_srai_epi16(e, 15), _mm_set1_epi16(1));  // +1, or -1 where e < 0
    c = _mm_add_epi16(c, _mm_and_si128(step, lane));
  }
  const __m128i y = _mm_sub_epi16(a, _mm_sll_epi16(c, _mm_cvtsi32_si128(bits)));
  const __m128i ylo = _mm_srai_epi32(_mm_unpacklo_epi16(y, y), 16);
  const __m128i yhi = _mm_srai_epi32(_mm_unpackhi_epi16(y, y), 16);
  const __m128 s = _mm_set1_ps(scale);
  const __m128 offset = _mm_set1_ps(kLatticeOffset);
  _mm_storeu_ps(x, _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(ylo), s), offset));
  _mm_storeu_ps(x + 4, _mm_add_ps(_mm_mul_ps(_mm_cvtepi32_ps(yhi), s), offset));
#else
  int y[8];
  latticePoint(k, bits, y);
  for (int i = 0; i < 8; ++i) x[i] = static_cast<float>(y[i]) * scale + kLatticeOffset;
#endif
}

void readBand(BitReader& in, int bits, bool huffman, int width, float* x) {
  if (bits == 1) {
    readOneBitBand(in, width, x);
    return;
  }
  alignas(16) std::int16_t k[8];
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
      readPlainBlock(in, bits, k);
    }
    decodeLatticeBlock(k, bits, x + blk);
  }
}

void fillNoise(float* x, const std::int8_t* bits, bool transient, int noiseLevel) {
  // The codebook: the coded bands' values, concatenated in band order.
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
  if (transient) last = kBands - 1;

  // Cyclic fill up to the last coded band; one read position for the whole frame. Band widths
  // and the codebook size are multiples of 8, so the position wraps only between blocks.
  int pos = 0;
  for (int b = 0; b <= last; ++b) {
    if (bits[b] != 0) continue;
    float* dst = x + kBandStart[b];
    for (int i = 0; i < kBandWidth[b]; i += 8) {
      copy8(codebook + pos, dst + i);
      pos += 8;
      if (pos == size) pos = 0;
    }
  }

  // Stationary frames mirror the spectrum below the end of the last coded band upward: the
  // source walks down to half that frequency and back up, repeating the turning points
  // (end - 1 .. low, low .. end - 1, end .. low, low .. end - 1, ...). Sources stay below the
  // positions written, except `end` itself, which is written first.
  if (last < kBands - 1) {
    const int end = kBandStart[last] + kBandWidth[last];
    const int low = end >> 1;
    int at = end;
    auto down = [&](int from, int count) {
      count = std::min(count, kCodedLength - at);
      for (int i = 0; i < count; ++i) x[at + i] = x[from - i];
      at += count;
    };
    auto up = [&](int from, int count) {
      count = std::min(count, kCodedLength - at);
      for (int i = 0; i < count; ++i) x[at + i] = x[from + i];
      at += count;
    };
    down(end - 1, end - low);
    while (at < kCodedLength) {
      up(low, end - low);
      down(end, end - low + 1);
    }
  }

  // The noise level attenuates the filled bands up to the last coded one (after the mirror
  // copied them, which keeps its level). Dividing by a power of two is exact.
  if (noiseLevel != 0) {
    const float factor = 1.0f / static_cast<float>(1 << noiseLevel);
    for (int b = 0; b <= last; ++b) {
      if (bits[b] != 0) continue;
      float* dst = x + kBandStart[b];
      for (int i = 0; i < kBandWidth[b]; ++i) dst[i] = dst[i] * factor;
    }
  }
}

}  // namespace tonvera::g719
