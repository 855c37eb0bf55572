// One fuzz input through the G.719 decoder; shared by the libFuzzer target and the corpus replay
// test so that both run exactly the same code.
//
// Input layout: byte 0 picks the rate R = 1 + byte % 128, byte 1 holds option bits, the rest
// is cut into frames of ceil(R x 20 / 8) bytes (a short last frame is decoded too).
#pragma once

#include <cstddef>
#include <cstdint>

namespace tonvera {

// Decodes the input through both entry points (soft bits and packed bytes) with separate states
// and aborts if their outputs ever differ. Returns 0.
int g719FuzzOneInput(const std::uint8_t* data, std::size_t size);

}  // namespace tonvera
