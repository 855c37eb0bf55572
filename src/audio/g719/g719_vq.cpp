#include "audio/g719/g719_vq.h"

#include <cmath>

#include "audio/g719/g719_coefficients.h"
#include "audio/g719/g719_tables.h"

namespace tonvera::g719 {
namespace {

constexpr float kLatticeOffset = 1.0f / 64.0f;
// Attempts at shrinking a block that falls outside the code before it becomes the zero vector.
constexpr int kShrinkSteps = 24;
constexpr float kShrinkFactor = 0.92f;

// Codes looked up by value (the tables list value, length, codeword).
struct CodeTable {
  std::uint8_t length[32];
  std::uint8_t code[32];
};
template <int Size>
constexpr CodeTable byValue(const std::int16_t (&table)[Size][3]) {
  CodeTable t{};
  for (int i = 0; i < Size; ++i) {
    t.length[table[i][0]] = static_cast<std::uint8_t>(table[i][1]);
    t.code[table[i][0]] = static_cast<std::uint8_t>(table[i][2]);
  }
  return t;
}
constexpr CodeTable kCoefCodes[4] = {byValue(kCoefHuffman2), byValue(kCoefHuffman3), byValue(kCoefHuffman4),
                                     byValue(kCoefHuffman5)};
constexpr CodeTable kNormCodes = byValue(kNormHuffman);

// The 1-bit code's decoded vectors (as the decoder computes them) and their squared lengths.
struct OneBitCode {
  float row[256][8];
  float norm2[256];
};
constexpr OneBitCode kOneBit = [] {
  OneBitCode c{};
  for (int r = 0; r < 256; ++r) {
    c.norm2[r] = 0.0f;
    for (int i = 0; i < 8; ++i) {
      c.row[r][i] = static_cast<float>(kLvq1Codebook[r][i]) / 1.1f + kLatticeOffset;
      c.norm2[r] += c.row[r][i] * c.row[r][i];
    }
  }
  return c;
}();

// Nearest point of D8 (integer vectors with an even sum) to v.
void nearestD8(const float* v, int* y) {
  int sum = 0;
  int worst = 0;
  float worstErr = -1.0f;
  for (int i = 0; i < 8; ++i) {
    y[i] = static_cast<int>(std::lrint(v[i]));
    sum += y[i];
    const float err = std::fabs(v[i] - static_cast<float>(y[i]));
    if (err > worstErr) {
      worstErr = err;
      worst = i;
    }
  }
  if (sum & 1) y[worst] += v[worst] > static_cast<float>(y[worst]) ? 1 : -1;
}

// Indices of lattice point y: the decoder's generator maps k to a = (2 k0 + k1 + .. + k7, k1, .., k7),
// which must equal y modulo the scaled lattice.
void indicesOf(const int* y, int bits, std::int16_t* k) {
  const int mask = (1 << bits) - 1;
  int rest = 0;
  for (int i = 1; i < 8; ++i) {
    k[i] = static_cast<std::int16_t>(y[i] & mask);
    rest += y[i];
  }
  k[0] = static_cast<std::int16_t>(((y[0] - rest) >> 1) & mask);
}

}  // namespace

void quantizeLatticeBlock(const float* t, int bits, std::int16_t* k, float* xhat) {
  const float scale = 6.0f / static_cast<float>(1 << bits);
  const float inverse = static_cast<float>(1 << bits) / 6.0f;
  float v[8];
  for (int i = 0; i < 8; ++i) v[i] = (t[i] - kLatticeOffset) * inverse;
  int y[8];
  int back[8];
  for (int step = 0;; ++step) {
    if (step == kShrinkSteps) {
      for (int i = 0; i < 8; ++i) y[i] = 0;
    } else {
      nearestD8(v, y);
    }
    indicesOf(y, bits, k);
    latticePoint(k, bits, back);
    bool same = true;
    for (int i = 0; i < 8; ++i) same = same && back[i] == y[i];
    if (same) break;
    for (float& x : v) x *= kShrinkFactor;
  }
  for (int i = 0; i < 8; ++i) xhat[i] = static_cast<float>(y[i]) * scale + kLatticeOffset;
}

int quantizeOneBitBlock(const float* t, int previous, float* xhat) {
  // Smallest |t - row|^2, i.e. largest 2 t.row - |row|^2.
  const bool zeroAllowed = previous >= 0 && previous < 128;
  int best = -1;
  float bestScore = 0.0f;
  if (zeroAllowed) {
    float dot = 0.0f;
    for (int i = 0; i < 8; ++i) dot += t[i];
    best = 0;
    bestScore = 2.0f * kLatticeOffset * dot - 8.0f * kLatticeOffset * kLatticeOffset;
  }
  for (int r = zeroAllowed ? 16 : 0; r < 256; ++r) {
    float dot = 0.0f;
    for (int i = 0; i < 8; ++i) dot += t[i] * kOneBit.row[r][i];
    const float score = 2.0f * dot - kOneBit.norm2[r];
    if (best < 0 || score > bestScore) {
      best = r;
      bestScore = score;
    }
  }
  for (int i = 0; i < 8; ++i) xhat[i] = zeroAllowed && best < 16 ? kLatticeOffset : kOneBit.row[best][i];
  return best;
}

int coefCodeLength(int bits, int index) { return kCoefCodes[bits - 2].length[index]; }
int coefCodeword(int bits, int index) { return kCoefCodes[bits - 2].code[index]; }
int normCodeLength(int diff) { return kNormCodes.length[diff]; }
int normCodeword(int diff) { return kNormCodes.code[diff]; }

}  // namespace tonvera::g719
