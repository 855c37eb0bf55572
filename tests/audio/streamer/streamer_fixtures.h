#pragma once
// Fixtures of the stream player tests: the MP3 files made at build time (PCM helpers come from
// g719_test_util.h).

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "g719_test_util.h"
#include "media_server.h"

namespace tonvera::test {

inline std::string fixturePath(const std::string& name) {
  return std::string(STREAMER_FIXTURES) + "/" + name;
}

// Offset of the first MPEG audio frame (after an ID3v2 tag).
inline std::int64_t id3Size(const std::vector<std::uint8_t>& b) {
  if (b.size() < 10 || std::memcmp(b.data(), "ID3", 3)) return 0;
  return 10 + ((std::int64_t(b[6]) << 21) | (b[7] << 14) | (b[8] << 7) | b[9]) + ((b[5] & 0x10) ? 10 : 0);
}

}  // namespace tonvera::test
