#include "audio/g719/g719_bitalloc.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

#include "audio/g719/g719_tables.h"

namespace tonvera::g719 {
namespace {

constexpr int kGroups = 20;

// Perceptual weight of every band (largest gets bits first).
void computeWeights(const int* levels, bool transient, int* weight) {
  int base[kBands];
  if (transient) {
    for (int j = 0; j < kBands; j += 4) {
      const int avg = (levels[j] + levels[j + 1] + levels[j + 2] + levels[j + 3]) >> 2;
      base[j] = base[j + 1] = base[j + 2] = base[j + 3] = avg;
    }
  } else {
    std::copy(levels, levels + kBands, base);
  }

  int h[kGroups];
  for (int k = 0; k < kGroups; ++k) {
    const int first = kWeightGroups[k][0];
    const int count = kWeightGroups[k][1];
    int sum = 0;
    for (int b = first; b < first + count; ++b) {
      sum += base[b];
    }
    h[k] = ((sum * kWeightGroups[k][2]) >> 15) + kWeightGroups[k][3] - 10;
  }
  for (int k = 1; k < kGroups; ++k) {
    h[k] = std::max(h[k], h[k - 1] - 4);
  }
  for (int k = kGroups - 2; k >= 0; --k) {
    h[k] = std::max(h[k], h[k + 1] - 8);
  }
  int e[kGroups];
  int lowest = 1 << 30;
  for (int k = 0; k < kGroups; ++k) {
    e[k] = kWeightWidth[k] - std::max<int>(h[k], kWeightFloor[k]);
    lowest = std::min(lowest, e[k]);
  }
  int largest = 0;
  for (int k = 0; k < kGroups; ++k) {
    e[k] -= lowest;
    largest = std::max(largest, e[k]);
  }
  // Rescale so that the largest value becomes 2 or 3.
  if (largest == 1) {
    for (int k = 0; k < kGroups; ++k) {
      e[k] <<= 1;
    }
  } else if (largest >= 4) {
    int digits = 0;
    while ((largest >> digits) != 0) {
      ++digits;
    }
    for (int k = 0; k < kGroups; ++k) {
      e[k] >>= digits - 2;
    }
  }
  int spread[kBands];
  for (int k = 0; k < kGroups; ++k) {
    std::fill_n(spread + kWeightGroups[k][0], kWeightGroups[k][1], e[k]);
  }
  if (transient) {
    for (int j = 0; j < kBands; j += 4) {
      const int avg = (spread[j] + spread[j + 1] + spread[j + 2] + spread[j + 3]) >> 2;
      spread[j] = spread[j + 1] = spread[j + 2] = spread[j + 3] = avg;
    }
  }
  for (int b = 0; b < kBands; ++b) {
    weight[b] = spread[b] + levels[b];
  }
}

// Ranks grouped by weight value: bit k of the group of value v is set while rank k holds weight
// v. "The first rank with the largest weight" within a window of ranks is then the lowest bit,
// inside the window, of the highest group that meets the window, and changing a rank's weight
// moves one bit, instead of scanning all ranks for every bit handed out. Weights stay within
// -21..37 for any input (levels -5..34 plus 0..3, lowered by 2 at most 8 times before a band is
// exhausted), so 64 groups cover them.
class RankSets {
 public:
  static constexpr int kValueOffset = 24;

  void clear() {
    std::fill(std::begin(sets_), std::end(sets_), 0ull);
    present_ = 0;
  }
  void add(int value, int rank) {
    sets_[value + kValueOffset] |= 1ull << rank;
    present_ |= 1ull << (value + kValueOffset);
  }
  void remove(int value, int rank) {
    std::uint64_t& set = sets_[value + kValueOffset];
    set &= ~(1ull << rank);
    if (set == 0) present_ &= ~(1ull << (value + kValueOffset));
  }
  // First rank with the largest weight among the ranks in window (a bit mask), or -1 when no
  // rank of the window is in any group.
  int firstLargest(std::uint64_t window) const {
    std::uint64_t groups = present_;
    while (groups != 0) {
      const int top = 63 - __builtin_clzll(groups);
      const std::uint64_t hit = sets_[top] & window;
      if (hit != 0) return __builtin_ctzll(hit);
      groups &= ~(1ull << top);
    }
    return -1;
  }

 private:
  std::uint64_t sets_[64];
  std::uint64_t present_;
};

}  // namespace

void allocateBits(const int* levels, bool transient, int codedBands, int budget, BitAllocation& result) {
  const int nb = codedBands;
  int weight[kBands];
  computeWeights(levels, transient, weight);

  // Ranking: selection sort by exchange (not stable; the exact tie order matters). Position i
  // is exchanged with the first remaining position holding the largest weight; a placed
  // position leaves the groups, so they only ever hold positions i..nb-1.
  int y[kBands];
  int o[kBands];
  RankSets ranks;
  ranks.clear();
  for (int i = 0; i < nb; ++i) {
    y[i] = weight[i];
    o[i] = i;
    ranks.add(y[i], i);
  }
  for (int i = 0; i < nb - 1; ++i) {
    const int j = ranks.firstLargest(~0ull);
    if (j < 0) break;  // never: positions i..nb-1 are all in the groups (said for the compiler)
    ranks.remove(y[j], j);
    if (j != i) {
      ranks.remove(y[i], i);
      ranks.add(y[i], j);
      std::swap(y[i], y[j]);
      std::swap(o[i], o[j]);
    }
  }

  // Iterative distribution: one more bit per coefficient at a time to the first rank with the
  // largest weight inside the search window 0..limit; exhausted ranks (9 bits) leave the groups.
  ranks.clear();
  for (int i = 0; i < nb; ++i) ranks.add(y[i], i);
  std::uint64_t live = (1ull << nb) - 1;  // ranks not yet exhausted
  int bits[kBands] = {};
  int remaining = budget;
  int limit = 1;
  while (remaining >= 8) {
    const int k = ranks.firstLargest((2ull << limit) - 1);
    if (k < 0) break;  // every rank of the window is exhausted
    if (k == limit) ++limit;
    const int b = o[k];
    const int width = kBandWidth[b];
    if (remaining < width) break;
    ++bits[b];
    ranks.remove(y[k], k);
    y[k] -= 2;
    if (bits[b] == kMaxBitsPerCoefficient) {
      live &= ~(1ull << k);
    } else {
      ranks.add(y[k], k);
    }
    remaining -= width;
    // After the last rank was served the window restarts after the first live rank.
    if (k >= nb - 1 && live != 0) limit = __builtin_ctzll(live) + 1;
    // The window never reaches past the last coded rank.
    limit = std::min(limit, nb - 1);
  }

  // Final passes: narrow bands of the second and first group take what is left.
  struct Pass {
    int firstBand, lastBand, from, step;
  };
  constexpr Pass passes[] = {{16, 23, 0, 16}, {16, 23, 1, 16}, {0, 15, 0, 8}, {0, 15, 1, 8}};
  for (const Pass& pass : passes) {
    for (int i = 0; i < nb && remaining >= pass.step; ++i) {
      const int b = o[i];
      if (b >= pass.firstBand && b <= pass.lastBand && bits[b] == pass.from) {
        bits[b] = pass.from + 1;
        remaining -= pass.step;
      }
    }
  }

  for (int b = 0; b < kBands; ++b) {
    result.bits[b] = static_cast<std::int8_t>(b < nb ? bits[b] : 0);
  }
  for (int i = 0; i < kBands; ++i) {
    result.order[i] = static_cast<std::int8_t>(i < nb ? o[i] : i);
  }
}

}  // namespace tonvera::g719
