// Helpers of the PURE tests: the public PURE files with their references, whole decodes, made streams.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Decodes a whole PURE stream, a partial last frame left out; empty when the header is refused.
std::vector<std::int16_t> decodeWhole(const std::vector<std::uint8_t>& stream);

// A PURE stream of `frames` frames at `rate`: each channel cycles through the frames of the packed
// mono streams named, every frame with its own scrambling seed.
std::vector<std::uint8_t> buildPure(int rate, const std::vector<std::string>& left,
                                    const std::vector<std::string>& right, int frames, unsigned seed = 1);

// The samples of a 48 kHz stereo 16-bit WAV file; empty when it is missing or not such a file.
std::vector<std::int16_t> wavSamples(const std::string& path);

// Frames (1920 samples each) [first, first + count) of interleaved stereo PCM.
std::vector<std::int16_t> stereoFrames(const std::vector<std::int16_t>& pcm, std::size_t first,
                                       std::size_t count);

// Index of the first frame from which `out` equals `expected` to the end (both the same length):
// what precedes it was touched by the fade-in. -1 when the lengths differ or the last frame differs.
long firstExactFrameToTheEnd(const std::vector<std::int16_t>& expected, const std::vector<std::int16_t>& out);

}  // namespace tonvera::test
