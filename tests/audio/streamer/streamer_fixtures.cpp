#include "streamer_fixtures.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace tonvera::test {

std::string fixturePath(const std::string& name) { return std::string(STREAMER_FIXTURES) + "/" + name; }

std::vector<std::uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

namespace {
std::uint32_t le32(const std::uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24); }
std::uint16_t le16(const std::uint8_t* p) { return std::uint16_t(p[0] | (p[1] << 8)); }
}  // namespace

std::optional<Pcm> readWav(const std::string& path) {
  const auto b = readFileBytes(path);
  if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) || std::memcmp(b.data() + 8, "WAVEfmt ", 8) ||
      std::memcmp(b.data() + 36, "data", 4)) {
    return std::nullopt;
  }
  const std::uint32_t dataBytes = le32(b.data() + 40);
  if (le32(b.data() + 4) != 36 + dataBytes || b.size() != 44 + std::size_t(dataBytes) || le16(b.data() + 20) != 1 ||
      le16(b.data() + 34) != 16) {
    return std::nullopt;
  }
  Pcm pcm;
  pcm.channels = le16(b.data() + 22);
  pcm.rate = int(le32(b.data() + 24));
  pcm.samples.resize(dataBytes / 2);
  std::memcpy(pcm.samples.data(), b.data() + 44, pcm.samples.size() * 2);
  return pcm;
}

std::vector<std::int16_t> readRaw(const std::string& path) {
  const auto b = readFileBytes(path);
  std::vector<std::int16_t> s(b.size() / 2);
  std::memcpy(s.data(), b.data(), s.size() * 2);
  return s;
}

long findAlignment(const Pcm& output, const std::vector<std::int16_t>& reference, long maxShift) {
  const std::size_t ch = std::size_t(output.channels);
  const std::size_t refFrames = reference.size() / ch;
  const std::size_t start = refFrames / 2;
  const std::size_t window = 2000;
  if (start + window > refFrames) return -1;
  for (long shift = -maxShift; shift <= maxShift; ++shift) {
    const long at = long(start) + shift;
    if (at < 0 || std::size_t(at) + window > output.frames()) continue;
    if (std::equal(reference.begin() + long(start * ch), reference.begin() + long((start + window) * ch),
                   output.samples.begin() + at * long(ch))) {
      return shift;
    }
  }
  return -1;
}

std::size_t countMismatches(const Pcm& output, const std::vector<std::int16_t>& reference, long alignment,
                            std::size_t fromFrame) {
  const std::size_t ch = std::size_t(output.channels);
  std::size_t bad = 0;
  for (std::size_t f = fromFrame; f < reference.size() / ch; ++f) {
    const long o = long(f) + alignment;
    if (o < 0 || std::size_t(o) >= output.frames()) {
      ++bad;
      continue;
    }
    for (std::size_t c = 0; c < ch; ++c) {
      if (reference[f * ch + c] != output.samples[std::size_t(o) * ch + c]) {
        ++bad;
        break;
      }
    }
  }
  return bad;
}

std::int64_t id3Size(const std::vector<std::uint8_t>& b) {
  if (b.size() < 10 || std::memcmp(b.data(), "ID3", 3)) return 0;
  return 10 + ((std::int64_t(b[6]) << 21) | (b[7] << 14) | (b[8] << 7) | b[9]) + ((b[5] & 0x10) ? 10 : 0);
}

}  // namespace tonvera::test
