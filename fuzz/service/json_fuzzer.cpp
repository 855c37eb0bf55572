// libFuzzer target for the JSON reader.
#include <cstddef>
#include <cstdint>

#include "json_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tonvera::fuzz::jsonReaderOneInput(data, size);
  return 0;
}
