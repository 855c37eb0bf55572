// Helpers of the G.719 decoder tests: the shared reference material read in place, packed
// frames expanded to soft bits, and the closeness rule between decoded and reference audio.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tonvera::test {

// Folder of the shared G.719 material (vectors/, pure/, tables/).
std::string g719Dir();

std::vector<std::uint8_t> readBytes(const std::string& path);
std::vector<std::int16_t> readPcm(const std::string& path);

// One frame of packed bits (most significant bit first) as soft bits.
std::vector<std::uint16_t> softBitsOf(const std::uint8_t* bytes, int bits);

// Decodes a packed mono stream of R x 20-bit frames with a fresh state, as the PURE layer
// drives the decoder (bit counts reset before every frame).
std::vector<std::int16_t> decodeStream(const std::vector<std::uint8_t>& bits, int rate);

struct Closeness {
  std::size_t samples = 0;
  std::size_t referenceSamples = 0;
  int maxDiff = 0;
  double mse = 0;
  std::size_t differing = 0;
  // Same length, largest difference at most 1, mean squared difference at most 0.01.
  bool strict() const { return samples == referenceSamples && maxDiff <= 1 && mse <= 0.01; }
};

// Compares channel `channel` of `channels` interleaved channels.
Closeness compare(const std::vector<std::int16_t>& ref, const std::vector<std::int16_t>& out,
                  int channels = 1, int channel = 0);

}  // namespace tonvera::test
