#pragma once
// Fixtures of the stream player tests: the MP3 files made at build time, and PCM comparison helpers.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "media_server.h"

namespace tonvera::test {

std::string fixturePath(const std::string& name);
std::vector<std::uint8_t> readFileBytes(const std::string& path);

// Interleaved 16-bit PCM.
struct Pcm {
  std::vector<std::int16_t> samples;
  int channels = 0;
  int rate = 0;
  std::size_t frames() const { return channels ? samples.size() / static_cast<std::size_t>(channels) : 0; }
};
// A canonical 44-byte-header PCM WAV file, checked for consistency.
std::optional<Pcm> readWav(const std::string& path);
std::vector<std::int16_t> readRaw(const std::string& path);

// Frame offset at which `reference` appears in `output`, found by matching a window near the
// reference's middle; -1 when none within `maxShift` frames.
long findAlignment(const Pcm& output, const std::vector<std::int16_t>& reference, long maxShift);
// Frames of `reference` (from `fromFrame` on) that differ from `output` at the alignment.
std::size_t countMismatches(const Pcm& output, const std::vector<std::int16_t>& reference, long alignment,
                            std::size_t fromFrame = 0);

// Offset of the first MPEG audio frame (after an ID3v2 tag).
std::int64_t id3Size(const std::vector<std::uint8_t>& bytes);

}  // namespace tonvera::test
