// The G.719 encoder's round-trip check, shared by the libFuzzer target and the encoder tests.
//
// Fuzz input layout: byte 0 picks the even rate R = 2 + 2 x (byte % 64), byte 1 the kind of
// signal (raw samples from the input, silence, full-scale square waves, clicks, DC, or the raw
// samples amplified into clipping), the rest shapes the signal (see the .cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace tonvera {

// Encodes pcm (mono, 48 kHz) at rate R frame by frame, decodes every frame with a fresh decoder
// and checks that the decoder reproduces exactly the coefficients the encoder coded in each
// frame. Empty when every frame matched, else what differed first.
std::string g719RoundTripMismatch(std::span<const std::int16_t> pcm, int rate);

// Builds a signal from the input, runs the round-trip check and aborts on a mismatch. Returns 0.
int g719EncoderFuzzOneInput(const std::uint8_t* data, std::size_t size);

}  // namespace tonvera
