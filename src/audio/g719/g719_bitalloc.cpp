#include "audio/g719/g719_bitalloc.h"

#include <algorithm>

#include "audio/g719/g719_tables.h"

namespace tonvera::g719 {
namespace {

constexpr int kGroups = 20;
constexpr int kExhausted = -32768;  // weight of a rank whose band holds the maximum of 9 bits

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
    const int first = kWeightGroups[k][0];
    for (int b = first; b < first + kWeightGroups[k][1]; ++b) {
      spread[b] = e[k];
    }
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

// First position of the largest value among y[from..to] (inclusive).
int firstLargest(const int* y, int from, int to) {
  int best = from;
  for (int i = from + 1; i <= to; ++i) {
    if (y[i] > y[best]) {
      best = i;
    }
  }
  return best;
}

}  // namespace

void allocateBits(const int* levels, bool transient, int codedBands, int budget, BitAllocation& result) {
  const int nb = codedBands;
  int weight[kBands];
  computeWeights(levels, transient, weight);

  // Ranking: selection sort by exchange (not stable; the exact tie order matters).
  int y[kBands];
  int o[kBands];
  for (int i = 0; i < nb; ++i) {
    y[i] = weight[i];
    o[i] = i;
  }
  for (int i = 0; i < nb - 1; ++i) {
    const int j = firstLargest(y, i, nb - 1);
    std::swap(y[i], y[j]);
    std::swap(o[i], o[j]);
  }

  int bits[kBands] = {};
  int remaining = budget;
  int limit = 1;
  while (remaining >= 8) {
    const int k = firstLargest(y, 0, limit);
    if (k == limit) {
      ++limit;
    }
    const int b = o[k];
    const int width = kBandWidth[b];
    if (remaining < width || bits[b] >= kMaxBitsPerCoefficient) {
      break;
    }
    ++bits[b];
    y[k] -= 2;
    if (bits[b] == kMaxBitsPerCoefficient) {
      y[k] = kExhausted;
    }
    remaining -= width;
    if (k >= nb - 1) {
      int first = 0;
      while (first < nb && y[first] == kExhausted) {
        ++first;
      }
      if (first < nb) {
        limit = first + 1;
      }
    }
    // The search window never reaches past the last coded rank.
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
