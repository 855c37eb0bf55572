// libFuzzer target: random rates and random bits through the G.719 decoder.
#include "g719_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tonvera::g719FuzzOneInput(data, size);
}
