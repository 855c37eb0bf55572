// The decoder's fast inner parts against plain implementations written straight from their
// definitions: the bit allocation (rank sets instead of scans), the lattice decoding (SIMD
// instead of scalar), and the noise filling (block copies and mirror runs instead of a walk
// position by position). Random inputs with fixed seeds, many of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "audio/g719/g719_bitalloc.h"
#include "audio/g719/g719_coefficients.h"
#include "audio/g719/g719_tables.h"

namespace tonvera::test {
namespace {

using namespace g719;

// Plain bit allocation: weights, selection sort by exchange, distribution with the search
// window, final passes.
void plainAllocate(const int* level, bool transient, int nb, int budget, int* bits, int* order) {
  int s[kBands];
  for (int b = 0; b < kBands; ++b) s[b] = level[b];
  if (transient) {
    for (int j = 0; j < kBands; j += 4) {
      const int avg = (level[j] + level[j + 1] + level[j + 2] + level[j + 3]) >> 2;
      std::fill(s + j, s + j + 4, avg);
    }
  }
  int h[20], e[20];
  for (int k = 0; k < 20; ++k) {
    int sum = 0;
    for (int b = kWeightGroups[k][0]; b < kWeightGroups[k][0] + kWeightGroups[k][1]; ++b) sum += s[b];
    h[k] = (sum * kWeightGroups[k][2] >> 15) + kWeightGroups[k][3] - 10;
  }
  for (int k = 1; k < 20; ++k) h[k] = std::max(h[k], h[k - 1] - 4);
  for (int k = 18; k >= 0; --k) h[k] = std::max(h[k], h[k + 1] - 8);
  for (int k = 0; k < 20; ++k) h[k] = std::max<int>(h[k], kWeightFloor[k]);
  for (int k = 0; k < 20; ++k) e[k] = kWeightWidth[k] - h[k];
  const int lo = *std::min_element(e, e + 20);
  for (int& v : e) v -= lo;
  const int hi = *std::max_element(e, e + 20);
  if (hi > 0) {
    int beta = 0;
    while ((1 << beta) <= hi) ++beta;
    for (int& v : e) v = beta <= 2 ? v << (2 - beta) : v >> (beta - 2);
  }
  int u[kBands];
  for (int k = 0; k < 20; ++k) {
    for (int b = kWeightGroups[k][0]; b < kWeightGroups[k][0] + kWeightGroups[k][1]; ++b) u[b] = e[k];
  }
  if (transient) {
    for (int j = 0; j < kBands; j += 4) {
      const int avg = (u[j] + u[j + 1] + u[j + 2] + u[j + 3]) >> 2;
      std::fill(u + j, u + j + 4, avg);
    }
  }
  int y[kBands];
  for (int i = 0; i < nb; ++i) {
    y[i] = u[i] + level[i];
    order[i] = i;
  }
  auto firstLargest = [&](int from, int to) {
    int best = from;
    for (int i = from + 1; i <= to; ++i) best = y[i] > y[best] ? i : best;
    return best;
  };
  for (int i = 0; i < nb - 1; ++i) {
    const int j = firstLargest(i, nb - 1);
    std::swap(y[i], y[j]);
    std::swap(order[i], order[j]);
  }
  std::fill(bits, bits + kBands, 0);
  constexpr int kDone = -32768;
  int r = budget, limit = 1;
  while (r >= 8) {
    const int k = firstLargest(0, limit);
    if (k == limit) ++limit;
    const int b = order[k];
    if (r < kBandWidth[b] || bits[b] >= 9) break;
    ++bits[b];
    y[k] -= 2;
    if (bits[b] == 9) y[k] = kDone;
    r -= kBandWidth[b];
    if (k >= nb - 1) {
      int f = 0;
      while (f < nb && y[f] == kDone) ++f;
      if (f < nb) limit = f + 1;
    }
    limit = std::min(limit, nb - 1);
  }
  const struct {
    int first, last, from, step;
  } passes[] = {{16, 23, 0, 16}, {16, 23, 1, 16}, {0, 15, 0, 8}, {0, 15, 1, 8}};
  for (const auto& p : passes) {
    for (int i = 0; i < nb && r >= p.step; ++i) {
      const int b = order[i];
      if (b >= p.first && b <= p.last && bits[b] == p.from) {
        bits[b] = p.from + 1;
        r -= p.step;
      }
    }
  }
}

TEST(G719Internals, BitAllocationMatchesPlainProcedure) {
  std::mt19937 rng(19);
  int checked = 0;
  for (int round = 0; round < 6000; ++round) {
    int level[kBands];
    // Smooth random norm paths like real frames, plus fully random ones (ties are common).
    int n = static_cast<int>(rng() % 40);
    for (int b = 0; b < kBands; ++b) {
      n = round % 3 == 0 ? static_cast<int>(rng() % 40)
                         : std::clamp(n + static_cast<int>(rng() % 7) - 3, 0, 39);
      level[b] = kNormLog2[n];
    }
    const bool transient = rng() & 1;
    const int nb = rng() & 1 ? 44 : 36;
    const int budget =
        round % 10 == 0 ? static_cast<int>(rng() % 8000) - 100 : static_cast<int>(rng() % 2600);
    BitAllocation fast;
    allocateBits(level, transient, nb, budget, fast);
    int bits[kBands], order[kBands];
    plainAllocate(level, transient, nb, budget, bits, order);
    for (int b = 0; b < kBands; ++b)
      ASSERT_EQ(fast.bits[b], b < nb ? bits[b] : 0) << "round " << round << " band " << b;
    for (int i = 0; i < nb; ++i) ASSERT_EQ(fast.order[i], order[i]) << "round " << round << " rank " << i;
    ++checked;
  }
  EXPECT_EQ(checked, 6000);
}

// Plain lattice decoding of one block, straight from the definition.
void plainLattice(const std::int16_t* k, int bits, float* x) {
  const int q = 13 - bits, sigma = q - bits;
  int a[8], z[8], c[8], sum = 0;
  a[0] = 2 * k[0];
  for (int i = 1; i < 8; ++i) a[0] += k[i], a[i] = k[i];
  for (int i = 0; i < 8; ++i) {
    z[i] = sigma >= 0 ? a[i] * (1 << sigma) : a[i] / (1 << -sigma);
    c[i] = z[i] / (1 << q);
    if (z[i] - c[i] * (1 << q) > (1 << (q - 1))) ++c[i];
    sum += c[i];
  }
  if (sum % 2 != 0) {
    int j = 0;
    for (int i = 1; i < 8; ++i) {
      if (std::abs(z[i] - c[i] * (1 << q)) > std::abs(z[j] - c[j] * (1 << q))) j = i;
    }
    c[j] += z[j] - c[j] * (1 << q) >= 0 ? 1 : -1;
  }
  for (int i = 0; i < 8; ++i)
    x[i] = static_cast<float>(a[i] - c[i] * (1 << bits)) * (6.0f / (1 << bits)) + 1.0f / 64;
}

TEST(G719Internals, LatticeDecodingMatchesPlainDefinition) {
  std::mt19937 rng(23);
  for (int bits = 2; bits <= 9; ++bits) {
    SCOPED_TRACE(bits);
    const int top = (1 << bits) - 1;
    for (int round = 0; round < 20000; ++round) {
      alignas(16) std::int16_t k[8];
      for (auto& v : k) {
        const unsigned pick = rng() % 8;  // favour the extremes, where rounding ties happen
        v = static_cast<std::int16_t>(pick == 0 ? 0 : pick == 1 ? top : static_cast<int>(rng() % (top + 1)));
      }
      float fast[8], plain[8];
      decodeLatticeBlock(k, bits, fast);
      plainLattice(k, bits, plain);
      ASSERT_EQ(std::memcmp(fast, plain, sizeof fast), 0) << "round " << round;
    }
  }
}

// Plain noise filling, one position at a time.
void plainFill(float* x, const std::int8_t* bits, bool transient, int level) {
  std::vector<float> book;
  int last = -1;
  for (int b = 0; b < kBands; ++b) {
    if (bits[b]) {
      book.insert(book.end(), x + kBandStart[b], x + kBandStart[b] + kBandWidth[b]);
      last = b;
    }
  }
  if (book.empty()) {
    std::fill(x, x + kCodedLength, 0.0f);
    return;
  }
  if (transient) last = kBands - 1;
  std::size_t pos = 0;
  for (int b = 0; b <= last; ++b) {
    if (bits[b]) continue;
    for (int i = 0; i < kBandWidth[b]; ++i) {
      x[kBandStart[b] + i] = book[pos];
      pos = (pos + 1) % book.size();
    }
  }
  if (last < kBands - 1) {
    const int end = kBandStart[last] + kBandWidth[last], low = end / 2;
    int src = end - 1;
    bool down = true;
    for (int p = end; p < kCodedLength; ++p) {
      x[p] = x[src];
      if (down) {
        if (src == low)
          down = false;
        else
          --src;
      } else if (src == end - 1) {
        down = true;
        src = end;
      } else {
        ++src;
      }
    }
  }
  for (int b = 0; b <= last; ++b) {
    if (bits[b]) continue;
    for (int i = 0; i < kBandWidth[b]; ++i) x[kBandStart[b] + i] /= static_cast<float>(1 << level);
  }
}

TEST(G719Internals, NoiseFillingMatchesPlainWalk) {
  std::mt19937 rng(29);
  for (int round = 0; round < 4000; ++round) {
    std::int8_t bits[kBands] = {};
    const int lastCoded = static_cast<int>(rng() % 45) - 1;  // -1: nothing coded
    const unsigned density = rng() % 4;
    for (int b = 0; b <= lastCoded; ++b)
      bits[b] = (rng() % 4 <= density || b == lastCoded) ? 1 + rng() % 9 : 0;
    const bool transient = rng() & 1;
    const int level = static_cast<int>(rng() % 4);
    std::vector<float> fast(kCodedLength), plain(kCodedLength);
    for (int i = 0; i < kCodedLength; ++i)
      fast[i] = plain[i] = static_cast<float>(static_cast<int>(rng() % 2001) - 1000) / 64;
    fillNoise(fast.data(), bits, transient, level);
    plainFill(plain.data(), bits, transient, level);
    ASSERT_EQ(std::memcmp(fast.data(), plain.data(), sizeof(float) * kCodedLength), 0)
        << "round " << round << " last " << lastCoded << " transient " << transient;
  }
}

}  // namespace
}  // namespace tonvera::test
