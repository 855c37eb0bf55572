// libFuzzer target: random and extreme PCM through the G.719 encoder and back through the decoder.
#include "g719_encoder_fuzz_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  return tonvera::g719EncoderFuzzOneInput(data, size);
}
