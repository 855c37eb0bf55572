#pragma once
// One fuzz input through the station's parsers of request text: the first byte picks the parser,
// the rest is its input. Checks the results' invariants and aborts when one fails. Shared by the
// libFuzzer target and the corpus replay test.

#include <cstddef>
#include <cstdint>

namespace tonvera::station {

int stationFuzzOne(const std::uint8_t* data, std::size_t size);

}  // namespace tonvera::station
