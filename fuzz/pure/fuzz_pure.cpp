// libFuzzer target: PURE streams cut into chunks decode as the unsplit stream.
#include <cstddef>
#include <cstdint>

#include "pure_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tonvera::pureFuzzOneInput(data, size);
}
