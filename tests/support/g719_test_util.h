// Helpers of the audio tests: files read whole (bytes, raw PCM, WAV files), the shared G.719
// material, decoded streams and their signal-to-noise ratio.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tonvera::test {

// Folder of the shared G.719 material (vectors/, pure/, tables/).
std::string g719Dir();

std::vector<std::uint8_t> readBytes(const std::string& path);
// Writes `bytes` to `path` and answers the path.
std::string writeBytes(const std::string& path, const std::vector<std::uint8_t>& bytes);
std::vector<std::int16_t> readPcm(const std::string& path);  // raw 16-bit little-endian

// Interleaved 16-bit PCM.
struct Pcm {
  int rate = 0;
  int channels = 0;
  std::vector<std::int16_t> samples;
  std::size_t frames() const { return channels ? samples.size() / static_cast<std::size_t>(channels) : 0; }
};
// A 16-bit PCM WAV file with the canonical 44-byte header, its sizes checked against the file.
std::optional<Pcm> readWav(const std::string& path);

// Frame offset (0..maxShift) at which `reference` (same channels) appears in `output`, found by
// matching a window near the reference's middle within `tolerance`; -1 when there is none.
long findAlignment(const Pcm& output, const std::vector<std::int16_t>& reference, long maxShift,
                   int tolerance = 0);
// Frames of `reference` from `fromFrame` on that differ from `output` at the alignment by more
// than `tolerance`, or that `output` lacks.
std::size_t countMismatches(const Pcm& output, const std::vector<std::int16_t>& reference, long alignment,
                            std::size_t fromFrame = 0, int tolerance = 0);

// Decodes a packed mono stream of R x 20-bit frames through the packed-byte entry.
std::vector<std::int16_t> decodeStream(const std::vector<std::uint8_t>& bits, int rate);

// Signal-to-noise ratio in dB of the first `n` samples of a channel of `out` against `source` (both
// interleaved), `out` one frame (960 samples) late as the coder makes it.
double snrOneFrameLate(const std::vector<std::int16_t>& source, const std::vector<std::int16_t>& out,
                       std::size_t n, int channels = 1, int channel = 0);

}  // namespace tonvera::test
