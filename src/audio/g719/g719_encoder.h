// G.719 encoder for one mono channel: 960 signed 16-bit samples at 48 kHz in, one frame of
// R x 20 coded bits out, packed most significant bit first, exactly as g719DecodePackedFrame
// (and, expanded to soft bits, g719DecodeFrame) reads it.
//
// Usage: g719EncoderInit once per channel with the frame's bit count, then g719EncodeFrame for
// every 960 new samples. The decoder's output lags the encoder's input by one frame (960
// samples); to code n samples, encode floor(n / 960) + 1 frames with the last one zero-filled.
//
// Frames of any size 0..kG719MaxFrameBits are written. Below about 240 bits the norms alone do
// not fit: such frames carry what fits and decode to silence.
//
// Threads: no global state. One encoder state is used by one thread at a time. Nothing is
// allocated per frame.
#pragma once

#include <cstdint>
#include <span>

#include "audio/g719/g719_analysis.h"
#include "audio/g719/g719_decoder.h"

namespace tonvera {

struct G719EncoderState {
  float history[kG719FrameSamples];  // the previous frame's input (first half of the analysis window)
  g719::TransientDetector detector;
  int bitsPerFrame;
};

// Clears the history and the detector and sets the frame size (clamped to 0..kG719MaxFrameBits).
void g719EncoderInit(G719EncoderState& state, int bitsPerFrame);

// Bytes of one packed frame of the state's size: ceil(bitsPerFrame / 8).
int g719EncodedBytes(const G719EncoderState& state);

// What one coded frame carries, for checks: decoding the frame must give exactly these
// spectrum values in the coded bands.
struct G719FrameInfo {
  bool transient;
  int codedBands;                     // 44, or 36 for the reduced band set
  std::int8_t bits[44];               // bits per coefficient of each band, leftover bits included
  float spectrum[kG719FrameSamples];  // decoded values of the bands with bits, at the positions
                                      // of the decoder's final (de-interleaved) spectrum; 0 elsewhere
  bool coded[kG719FrameSamples];      // which positions of spectrum are coded values
};

// Codes the next 960 samples into out, which must hold g719EncodedBytes(state) bytes; bits past
// the frame's end (in the last byte) are zero. With info, also describes the frame.
void g719EncodeFrame(std::span<const std::int16_t, kG719FrameSamples> pcm, std::span<std::uint8_t> out,
                     G719EncoderState& state, G719FrameInfo* info = nullptr);

}  // namespace tonvera
