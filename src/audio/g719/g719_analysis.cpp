#include "audio/g719/g719_analysis.h"

#include <algorithm>
#include <iterator>

#include "audio/g719/g719_tables.h"
#include "audio/g719/g719_transform.h"

namespace tonvera::g719 {
namespace {

constexpr int kDetectorBlockLength = 960 / kDetectorBlocks;
// An onset: a sub-block this many times stronger than the mean of the eight before it ...
constexpr float kOnsetRatio = 10.0f;
// ... and stronger than this (high-passed energy of 120 samples; about -60 dBFS), so that rises
// inside near silence do not count.
constexpr float kOnsetFloor = 120.0f * 40.0f * 40.0f;
// First-order high-pass: speech and music carry most energy at low frequencies, where a rise is
// rarely audible as pre-echo; clicks and attacks stand out above it.
constexpr float kHighPass = 0.9f;

// Where each short spectrum's coefficient goes in the interleaved spectrum.
struct InterleaveMap {
  std::int16_t to[kShortBlockCount][kShortBlockCoded];
};
constexpr InterleaveMap kInterleave = [] {
  InterleaveMap m{};
  for (int s = 0; s < kShortBlockCount; ++s) {
    for (int q = 0; q < kShortBlockCoded; ++q) m.to[s][q] = kTransientDeinterleave[s][q];
  }
  return m;
}();

// Transpose of the decoder's short unfolding: 480 windowed samples u to 240 values c.
inline void foldShort(const float* u, float* c) {
  for (int j = 0; j < 120; ++j) {
    c[120 + j] = u[j] - u[239 - j];
    c[j] = -u[359 - j] - u[360 + j];
  }
}

}  // namespace

void resetTransientDetector(TransientDetector& detector) {
  detector.highPassMemory = 0.0f;
  std::fill(std::begin(detector.blockEnergy), std::end(detector.blockEnergy), 0.0f);
  detector.onsetInPrevious = false;
}

bool detectTransient(const float* frame, TransientDetector& detector) {
  float energy[2 * kDetectorBlocks];
  std::copy(std::begin(detector.blockEnergy), std::end(detector.blockEnergy), energy);
  float previous = detector.highPassMemory;
  for (int j = 0; j < kDetectorBlocks; ++j) {
    float e = 0.0f;
    for (int i = 0; i < kDetectorBlockLength; ++i) {
      const float x = frame[j * kDetectorBlockLength + i];
      const float h = x - kHighPass * previous;
      previous = x;
      e += h * h;
    }
    energy[kDetectorBlocks + j] = e;
  }
  detector.highPassMemory = previous;

  bool onset = false;
  for (int j = kDetectorBlocks; j < 2 * kDetectorBlocks && !onset; ++j) {
    float before = 0.0f;
    for (int i = j - kDetectorBlocks; i < j; ++i) before += energy[i];
    before /= kDetectorBlocks;
    onset = energy[j] > kOnsetFloor && energy[j] > kOnsetRatio * before;
  }
  std::copy(energy + kDetectorBlocks, energy + 2 * kDetectorBlocks, detector.blockEnergy);
  // The analysis window covers the previous frame too: an onset there still needs short blocks.
  const bool transient = onset || detector.onsetInPrevious;
  detector.onsetInPrevious = onset;
  return transient;
}

void windowAndFold(const float* s, float* a) {
  const float* w = kWindowLong;
  for (int j = 0; j < 480; ++j) {
    a[480 + j] = s[j] * w[j] - s[959 - j] * w[959 - j];
    a[j] = -(s[1439 - j] * w[1439 - j]) - s[1440 + j] * w[1440 + j];
  }
}

void forwardLong(const float* folded, float* spectrum) { dct960(folded, spectrum); }

void forwardShortInterleaved(const float* folded, float* interleaved) {
  // The decoder overlap-adds the short blocks into B at offsets -120, 120, 360 and 600 and
  // reverses B into the folded frame; the analysis reads them back out with the same windows.
  alignas(16) float b[960];
  for (int i = 0; i < 960; ++i) b[i] = folded[959 - i];
  const float* ws = kWindowShort;
  alignas(16) float u[480];
  alignas(16) float c[240];
  alignas(16) float x[240];
  for (int s = 0; s < kShortBlockCount; ++s) {
    const int offset = 240 * s - 120;
    for (int t = 0; t < 480; ++t) {
      const int p = offset + t;
      if (p < 0 || p >= 960) {
        u[t] = 0.0f;  // outside the frame: dropped by the decoder
      } else if ((s == 0 && t < 240) || (s == 3 && t >= 240)) {
        u[t] = b[p];  // the outer halves of the first and last block have no window
      } else {
        u[t] = b[p] * ws[t];
      }
    }
    foldShort(u, c);
    dct240(c, x);
    for (int q = 0; q < kShortBlockCoded; ++q) interleaved[kInterleave.to[s][q]] = x[q];
  }
}

}  // namespace tonvera::g719
