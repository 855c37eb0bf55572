// Helpers of the PURE tests: the public PURE files with their references, decoding a stream fed
// in chunks of chosen sizes, and the strict per-channel comparison with a reference.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tonvera::test {

struct PublicPureFile {
  const char* name;  // file name without ".pur"
  int rate;
  int frames;
};
// Every public PURE file that has a reference output (badversion_r64 has none).
const std::vector<PublicPureFile>& publicPureFiles();

std::string purePath(const std::string& name);     // .../g719/pure/<name>.pur
std::string pureRefPath(const std::string& name);  // .../g719/pure/<name>.ref.pcm

// Decodes a whole PURE stream (header included) handed over in chunks whose sizes come from
// `chunkSize` (called once per chunk, answers at least 1). `held` receives the bytes of a partial
// frame left at the end. Empty when the header is refused.
std::vector<std::int16_t> decodeInChunks(const std::vector<std::uint8_t>& stream,
                                         const std::function<std::size_t()>& chunkSize,
                                         std::size_t* held = nullptr);
std::vector<std::int16_t> decodeWhole(const std::vector<std::uint8_t>& stream);

// Chunk sizes drawn uniformly from lo..hi with a fixed seed.
std::function<std::size_t()> randomChunks(unsigned seed, std::size_t lo, std::size_t hi);

// Both channels of interleaved stereo output within the strict rule of the reference material
// (same length, largest difference at most 1, mean squared difference at most 0.01). The text
// names what failed, empty when both pass.
std::string strictStereoMismatch(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& out);

}  // namespace tonvera::test
