// libFuzzer target over the station's request-text parsers.
#include "station_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tonvera::station::stationFuzzOne(data, size);
}
