// Bit allocation of the G.719 decoder: from the bands' norm levels, the frame type and the bit
// budget to the number of bits per coefficient of every band, plus the ranking of the bands by
// perceptual weight that the leftover-bit pass reuses.
//
// The result must equal the encoder's allocation exactly (any difference desynchronises the bit
// reading), so ties are broken exactly as the standard's procedure breaks them.
//
// Threads: pure function; callable from any thread.
#pragma once

#include <cstdint>

namespace tonvera::g719 {

inline constexpr int kBands = 44;
inline constexpr int kMaxBitsPerCoefficient = 9;

struct BitAllocation {
  std::int8_t bits[kBands];   // bits per coefficient per band, 0..9 (0 for uncoded bands)
  std::int8_t order[kBands];  // band at each rank, largest weight first (ranks 0..codedBands-1)
};

// levels[b]: integer log2 level of band b's norm (34 - norm index, after clamping the index to
// 0..39). codedBands: 44 or 36. budget: bits available for the coefficients (may be negative).
void allocateBits(const int* levels, bool transient, int codedBands, int budget, BitAllocation& result);

}  // namespace tonvera::g719
