#pragma once
// UTF-8 encoding of single code points and the one UTF-8 validator, shared by the text handling of
// several modules. Any thread.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tonvera {

// Appends the UTF-8 form of code point `cp` (at most U+10FFFF; surrogates are written as they are).
inline void appendUtf8(std::string& out, std::uint32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// The length of the well-formed UTF-8 sequence of two to four bytes at `p` (its lead byte is 0x80
// or above), with `avail` bytes readable from `p`: 0 when it is not well formed (overlong forms,
// surrogates and code points above U+10FFFF are not), and `avail` + 1 when the bytes run out first.
inline std::size_t utf8SequenceLength(const unsigned char* p, std::size_t avail) {
  const unsigned char c = p[0];
  std::size_t need;
  unsigned char lo = 0x80, hi = 0xBF;  // allowed range of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    need = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    need = 2;
    if (c == 0xE0) lo = 0xA0;  // no overlong forms
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    need = 3;
    if (c == 0xF0) lo = 0x90;  // no overlong forms
    if (c == 0xF4) hi = 0x8F;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  if (avail < 2) return avail + 1;
  if (p[1] < lo || p[1] > hi) return 0;
  for (std::size_t k = 2; k <= need; ++k) {
    if (k >= avail) return avail + 1;
    if ((p[k] & 0xC0) != 0x80) return 0;
  }
  return need + 1;
}

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates, nothing above U+10FFFF).
bool isValidUtf8(std::string_view bytes);

}  // namespace tonvera
