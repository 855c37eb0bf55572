#pragma once
// One fuzz input through the JSON reader, shared by the libFuzzer target and the replay test.
// Aborts when an invariant breaks: the stream parser fed in two pieces must agree with the whole
// buffer, and a parsed value's canonical text must read back as an equal value.
#include <cstddef>
#include <cstdint>

namespace tonvera::fuzz {
void jsonReaderOneInput(const std::uint8_t* data, std::size_t size);
}
