// Inverse transform of the G.719 decoder: the 120-point FFT, the 960- and 240-point DCT-IV built
// on it, and the synthesis of one frame (unfolding, windowing, overlap-add, 16-bit output).
//
// Every floating-point operation is done in single precision in a fixed order, with the rounded
// constants of the standard's tables, so that the output matches the standard's floating-point
// decoder sample for sample. Compile with floating-point contraction off and without
// re-association (no -ffast-math).
//
// Threads: pure functions over caller-owned arrays; callable from any thread.
#pragma once

#include <cstdint>

namespace tonvera::g719 {

// Scaled forward 120-point DFT (about a quarter of the DFT), complex values as separate real and
// imaginary arrays. Input and output must not overlap.
void fft120(const float* inRe, const float* inIm, float* outRe, float* outIm);

// DCT-IV of length 960 and 240 with orthonormal scaling. Input and output must not overlap.
void dct960(const float* in, float* out);
void dct240(const float* in, float* out);

// Synthesis of a stationary frame from its 960-coefficient spectrum: one long inverse transform,
// window, overlap-add with overlap[], clamping and truncation into out[960]; overlap[] receives
// the second half of the windowed frame.
void synthesizeLong(const float* spectrum, float* overlap, std::int16_t* out);

// Synthesis of a transient frame from its four de-interleaved 240-coefficient short spectra
// (spectrum[240 s + q]); same output and overlap handling as synthesizeLong.
void synthesizeShort(const float* spectrum, float* overlap, std::int16_t* out);

}  // namespace tonvera::g719
