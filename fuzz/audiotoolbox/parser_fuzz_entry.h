#pragma once
// One fuzz input through the audio file stream parser, shared by the libFuzzer target and the
// replay test. The first byte picks the container format, the second how the rest is cut into
// chunks. Aborts when an invariant breaks: a packet description outside the bytes handed over, or
// output that depends on how the bytes were cut.
#include <cstddef>
#include <cstdint>

namespace tonvera::fuzz {
void audioParserOneInput(const std::uint8_t* data, std::size_t size);
}
