#include "audio/g719/g719_bitreader.h"

#include <algorithm>
#include <cstring>

#include "audio/g719/g719_decoder.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tonvera::g719 {
namespace {

// Reverses the bit order of a 64-bit word.
inline std::uint64_t reverseBits(std::uint64_t v) {
  v = ((v >> 1) & 0x5555555555555555ull) | ((v & 0x5555555555555555ull) << 1);
  v = ((v >> 2) & 0x3333333333333333ull) | ((v & 0x3333333333333333ull) << 2);
  v = ((v >> 4) & 0x0F0F0F0F0F0F0F0Full) | ((v & 0x0F0F0F0F0F0F0F0Full) << 4);
  return __builtin_bswap64(v);
}

// 64 soft bits to one word, first bit in the most significant position.
inline std::uint64_t packWord(const std::uint16_t* s) {
#if defined(__SSE2__)
  const __m128i one = _mm_set1_epi16(static_cast<short>(kG719SoftOne));
  std::uint64_t lsbFirst = 0;
  for (int q = 0; q < 4; ++q) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * q));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 16 * q + 8));
    const __m128i m = _mm_packs_epi16(_mm_cmpeq_epi16(a, one), _mm_cmpeq_epi16(b, one));
    lsbFirst |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(m))) << (16 * q);
  }
  return reverseBits(lsbFirst);
#else
  std::uint64_t v = 0;
  for (int i = 0; i < 64; ++i) {
    v = (v << 1) | (s[i] == kG719SoftOne ? 1u : 0u);
  }
  return v;
#endif
}

void clearFrom(PackedFrame& frame, int bits) {
  frame.bits = bits;
  const int full = bits >> 6;
  if (bits & 63) {
    frame.words[full] &= ~(~0ull >> (bits & 63));
    std::fill(frame.words + full + 1, frame.words + kMaxFrameWords, 0ull);
  } else {
    std::fill(frame.words + full, frame.words + kMaxFrameWords, 0ull);
  }
}

// Number of bits to take: what the input holds, at most maxBits and the largest frame.
int bitsToTake(std::size_t available, int maxBits) {
  const int cap = std::clamp(maxBits, 0, kG719MaxFrameBits);
  return available < static_cast<std::size_t>(cap) ? static_cast<int>(available) : cap;
}

}  // namespace

void packSoftBits(std::span<const std::uint16_t> softBits, int maxBits, PackedFrame& frame) {
  const int bits = bitsToTake(softBits.size(), maxBits);
  const std::uint16_t* s = softBits.data();
  const int full = bits >> 6;
  for (int w = 0; w < full; ++w) {
    frame.words[w] = packWord(s + 64 * w);
  }
  if (bits & 63) {
    std::uint16_t tail[64];
    const int rest = bits & 63;
    std::memcpy(tail, s + 64 * full, sizeof(std::uint16_t) * rest);
    std::fill(tail + rest, tail + 64, kG719SoftZero);
    frame.words[full] = packWord(tail);
  }
  clearFrom(frame, bits);
}

void packBytes(std::span<const std::uint8_t> bytes, int maxBits, PackedFrame& frame) {
  const int bits = bitsToTake(bytes.size() * 8, maxBits);
  const int nbytes = (bits + 7) >> 3;
  const std::uint8_t* b = bytes.data();
  for (int w = 0; w * 8 < nbytes; ++w) {
    std::uint64_t v = 0;
    for (int i = 0; i < 8; ++i) {
      const int k = 8 * w + i;
      v = (v << 8) | (k < nbytes ? b[k] : 0u);
    }
    frame.words[w] = v;
  }
  clearFrom(frame, bits);
}

}  // namespace tonvera::g719
