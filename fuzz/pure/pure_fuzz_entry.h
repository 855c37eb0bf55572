// Entry of the PURE stream fuzz target, shared with the corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tonvera {

// Input: two bytes seeding the chunk sizes, then a PURE stream (header and frames). A stream whose
// header is accepted is decoded once whole and once cut into chunks of 1 to 2048 bytes; the two
// outputs must be equal and every frame must decode (the process aborts otherwise). Answers 0.
int pureFuzzOneInput(const std::uint8_t* data, std::size_t size);

}  // namespace tonvera
