#include "platform/utf8.h"

#include <cstring>

namespace tonvera {

bool isValidUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (p < end) {
    // Eight ASCII bytes at a time.
    while (end - p >= 8) {
      std::uint64_t w;
      std::memcpy(&w, p, 8);
      if (w & 0x8080808080808080ull) break;
      p += 8;
    }
    if (p >= end) break;
    if (*p < 0x80) {
      ++p;
      continue;
    }
    const std::size_t avail = static_cast<std::size_t>(end - p);
    const std::size_t length = utf8SequenceLength(p, avail);
    if (length == 0 || length > avail) return false;
    p += length;
  }
  return true;
}

}  // namespace tonvera
