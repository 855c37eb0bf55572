// Analysis side of the G.719 encoder: transient detection and the forward transforms that the
// decoder's synthesis inverts (the long transform of stationary frames, the four interleaved short
// transforms of transient frames).
//
// The forward transform is the exact transpose of the decoder's synthesis: window with the same
// long window, fold the 1920 samples into 960, then one 960-point DCT-IV, or four 240-point
// DCT-IVs over short windows of the folded samples. Since both DCT-IVs are their own inverse,
// decoding a frame coded without loss gives back the input, one frame (960 samples) late.
//
// Threads: pure functions over caller-owned arrays plus a detector state owned by one encoder.
#pragma once

#include <cstdint>

namespace tonvera::g719 {

inline constexpr int kShortBlockCount = 4;
inline constexpr int kShortBlockLength = 240;
inline constexpr int kShortBlockCoded = 200;  // short coefficients above 20 kHz are not sent
inline constexpr int kDetectorBlocks = 8;     // sub-blocks of 120 samples per frame

// Transient detector: finds sharp energy rises (onsets) in the high-passed input. A frame whose
// analysis window holds an onset, in its new half or in the previous frame, is coded with
// short transforms, so that the coding noise of the loud part does not spread before it.
struct TransientDetector {
  float highPassMemory;                // last input sample of the previous frame
  float blockEnergy[kDetectorBlocks];  // high-passed energies of the previous frame's sub-blocks
  bool onsetInPrevious;                // the previous frame held an onset
};

void resetTransientDetector(TransientDetector& detector);

// Looks at the 960 new samples of a frame; true when the frame should be coded as transient.
bool detectTransient(const float* frame, TransientDetector& detector);

// Windows the 1920 samples of the analysis window (previous frame, then the new one) and folds
// them into the 960 values the DCT-IVs take.
void windowAndFold(const float* window1920, float* folded);

// Spectrum of a stationary frame: 960 coefficients (only 0..799 are coded).
void forwardLong(const float* folded, float* spectrum);

// Spectrum of a transient frame: the four short spectra, coefficients 0..199 of each,
// interleaved into 800 coefficients as the decoder de-interleaves them.
void forwardShortInterleaved(const float* folded, float* interleaved800);

}  // namespace tonvera::g719
