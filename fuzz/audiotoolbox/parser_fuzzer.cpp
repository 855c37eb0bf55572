// libFuzzer target for the audio file stream parser (every container format).
#include <cstddef>
#include <cstdint>

#include "parser_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tonvera::fuzz::audioParserOneInput(data, size);
  return 0;
}
