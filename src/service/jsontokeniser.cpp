#include "service/jsontokeniser.h"

#include <array>
#include <bit>
#include <cstdio>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "platform/utf8.h"

namespace tonvera {

namespace {

// Bytes that continue a run of plain string bytes one at a time: printable ASCII but '"' and '\\'.
constexpr std::array<bool, 256> makePlainAscii() {
  std::array<bool, 256> t{};
  for (int c = 0x20; c < 0x80; ++c) t[c] = true;
  t['"'] = false;
  t['\\'] = false;
  return t;
}
constexpr std::array<bool, 256> kPlainAscii = makePlainAscii();

constexpr std::uint64_t kOnes = 0x0101010101010101ull;
constexpr std::uint64_t kHighBits = 0x8080808080808080ull;

// High bit of each byte of `w` that is below `limit` (at most 0x80). A byte's borrow may also mark
// the byte above it, so only the lowest mark is exact; the callers need no more.
constexpr std::uint64_t bytesBelow(std::uint64_t w, std::uint8_t limit) {
  return (w - kOnes * limit) & ~w & kHighBits;
}

// The offset of the first byte of the 16 or 8 at `p` that is '"', '\\', a control character or 0x80
// and above; the block's size when there is none.
#if defined(__SSE2__)
constexpr std::size_t kBlock = 16;
inline std::size_t firstMarkedByte(const char* p) {
  const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  // As signed bytes, the control characters and the bytes 0x80 and above are the ones below 0x20.
  const __m128i marked = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(x, _mm_set1_epi8('"')), _mm_cmpeq_epi8(x, _mm_set1_epi8('\\'))),
      _mm_cmplt_epi8(x, _mm_set1_epi8(0x20)));
  const auto mask = static_cast<unsigned>(_mm_movemask_epi8(marked));
  return mask ? static_cast<std::size_t>(std::countr_zero(mask)) : kBlock;
}
#else
constexpr std::size_t kBlock = 8;
inline std::size_t firstMarkedByte(const char* p) {
  if constexpr (std::endian::native != std::endian::little) {
    std::size_t k = 0;
    while (k < kBlock && kPlainAscii[static_cast<unsigned char>(p[k])]) ++k;
    return k;
  }
  std::uint64_t w;
  std::memcpy(&w, p, 8);
  const std::uint64_t marks = bytesBelow(w ^ (kOnes * '"'), 1) | bytesBelow(w ^ (kOnes * '\\'), 1) |
                              bytesBelow(w, 0x20) | (w & kHighBits);
  return marks ? static_cast<std::size_t>(std::countr_zero(marks)) / 8 : kBlock;
}
#endif

// Whether the bytes at `p` start with a three-byte UTF-8 sequence of lead byte E1..EC or EE..EF
// (most of the Chinese, Japanese and Korean characters), which needs no further check.
inline bool isPlainThreeByteSequence(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  const std::uint32_t v = u[0] | (u[1] << 8) | (u[2] << 16);
  const std::uint32_t lowNibble = v & 0x0F;
  return (v & 0xC0C0F0) == 0x8080E0 && lowNibble != 0 && lowNibble != 0x0D;
}

// The index of the first byte from `i` on that ends a run of plain string bytes ('"', '\\' or a
// control character), or `n` when the data ends first. Multi-byte UTF-8 sequences on the way are
// checked; `broken` is set when one is not well formed. Plain ASCII is passed over a block at a time.
std::size_t scanStringRun(const char* b, std::size_t i, std::size_t n, bool& broken) {
  for (;;) {
    for (;;) {
      if (n - i < kBlock) {
        while (i < n && kPlainAscii[static_cast<unsigned char>(b[i])]) ++i;
        if (i >= n) return n;
        break;
      }
      const std::size_t k = firstMarkedByte(b + i);
      i += k;
      if (k < kBlock) break;
    }
    if (static_cast<unsigned char>(b[i]) < 0x80) return i;
    while (n - i >= 3 && isPlainThreeByteSequence(b + i)) i += 3;
    if (i >= n) return n;
    if (static_cast<unsigned char>(b[i]) < 0x80) continue;
    const std::size_t length = utf8SequenceLength(reinterpret_cast<const unsigned char*>(b + i), n - i);
    if (length > n - i) return n;  // cut off by the end of the data
    if (length == 0) {
      broken = true;
      ++i;
    } else {
      i += length;
    }
  }
}

inline bool isDigit(std::uint16_t c) { return c >= '0' && c <= '9'; }

inline int hexValue(std::uint16_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads four hex digits at `i`. Answers 1 on success (value in `out`), 0 when the data ends first,
// -1 when a character is not a hex digit.
int readHexQuad(const SBJsonUTF8Stream& s, std::size_t i, std::uint32_t& out) {
  std::uint32_t v = 0;
  for (std::size_t k = 0; k < 4; ++k) {
    if (i + k >= s.length()) return 0;
    int h = hexValue(s.unitAt(i + k));
    if (h < 0) return -1;
    v = (v << 4) | static_cast<std::uint32_t>(h);
  }
  out = v;
  return 1;
}

}  // namespace

const char* tokenName(int token) {
  switch (token) {
    case SBJsonTokenArrayStart:
      return "start of array";
    case SBJsonTokenArrayEnd:
      return "end of array";
    case SBJsonTokenObjectStart:
      return "start of object";
    case SBJsonTokenObjectEnd:
      return "end of object";
    case SBJsonTokenValueSeparator:
      return "value separator";
    case SBJsonTokenKeyValueSeparator:
      return "key-value separator";
    case SBJsonTokenNumber:
      return "number";
    case SBJsonTokenString:
      return "string";
    case SBJsonTokenTrue:
    case SBJsonTokenFalse:
      return "boolean";
    case SBJsonTokenNull:
      return "null";
    default:
      return "<aaiiie!>";
  }
}

void SBJsonUTF8Stream::appendData(std::string_view data) {
  if (index_ >= length_) {
    // Nothing left over: read the new data where it stands.
    buffer_.clear();
    data_ = data.data();
    length_ = data.size();
    index_ = 0;
    return;
  }
  if (data_ != buffer_.data()) keepUnread();
  if (index_ > 0) {
    buffer_.erase(0, index_);
    index_ = 0;
  }
  buffer_.append(data);
  data_ = buffer_.data();
  length_ = buffer_.size();
}

void SBJsonUTF8Stream::keepUnread() {
  if (data_ == buffer_.data()) return;
  buffer_.assign(data_ + index_, length_ - index_);
  data_ = buffer_.data();
  length_ = buffer_.size();
  index_ = 0;
}

int SBJsonTokeniser::fail(std::string message) {
  error_ = std::move(message);
  return SBJsonTokenError;
}

int SBJsonTokeniser::getValueToken(std::size_t i) {
  const std::uint16_t c = stream_.unitAt(i);
  switch (c) {
    case '"':
      return getStringToken(i);
    case 't':
      return matchWord(i, "true", SBJsonTokenTrue);
    case 'f':
      return matchWord(i, "false", SBJsonTokenFalse);
    case 'n':
      return matchWord(i, "null", SBJsonTokenNull);
    case '+':
      return fail("Leading + is illegal in number");
    default:
      break;
  }
  if (c == '-' || isDigit(c)) return getNumberToken(i);

  // "%c" prints the low byte of the unit. A byte of 0x80 and above is shown as the Latin-1 character
  // of that value, so the message stays valid UTF-8.
  std::string message = "Illegal start of token [";
  appendUtf8(message, c & 0xFF);
  message += "]";
  return fail(std::move(message));
}

int SBJsonTokeniser::matchWord(std::size_t tokenStart, std::string_view word, int token) {
  SBJsonUTF8Stream& s = stream_;
  if (!s.haveRemainingCharacters(word.size())) return SBJsonTokenEOF;
  if (std::string_view(s.bytes() + tokenStart, word.size()) != word) {
    char message[64];
    std::snprintf(message, sizeof message, "Expected '%.*s' after initial '%.1s'",
                  static_cast<int>(word.size()), word.data(), word.data());
    return fail(message);
  }
  s.setIndex(tokenStart + word.size());
  return token;
}

int SBJsonTokeniser::getStringToken(std::size_t tokenStart) {
  SBJsonUTF8Stream& s = stream_;
  const char* b = s.bytes();
  const std::size_t n = s.length();
  const std::size_t textStart = tokenStart + 1;
  std::size_t i = textStart;
  bool collected = false;  // an escape was met: the text is decoded into string_
  bool broken = false;

  for (;;) {
    // The longest run of plain bytes.
    const std::size_t runStart = i;
    i = scanStringRun(b, i, n, broken);
    if (i >= n) break;  // ran out of data
    if (broken) return fail("Broken Unicode encoding");

    const unsigned char c = static_cast<unsigned char>(b[i]);
    if (c == '"') {
      if (!collected) {
        // No escapes: the text is read where it stands.
        text_ = std::string_view(b + textStart, i - textStart);
      } else {
        string_.append(b + runStart, i - runStart);
        text_ = string_;
      }
      s.setIndex(i + 1);
      return SBJsonTokenString;
    }
    if (!collected) {
      string_.assign(b + textStart, i - textStart);
      collected = true;
    } else {
      string_.append(b + runStart, i - runStart);
    }
    if (c < 0x20) {
      char message[48];
      std::snprintf(message, sizeof message, "Unescaped control character [0x%02X]", c);
      return fail(message);
    }

    // A backslash and its escape.
    if (i + 1 >= n) break;
    const std::uint16_t e = s.unitAt(i + 1);
    i += 2;
    switch (e) {
      case '"':
      case '\\':
      case '/':
        string_.push_back(static_cast<char>(e));
        continue;
      case 'b':
        string_.push_back('\b');
        continue;
      case 'f':
        string_.push_back('\f');
        continue;
      case 'n':
        string_.push_back('\n');
        continue;
      case 'r':
        string_.push_back('\r');
        continue;
      case 't':
        string_.push_back('\t');
        continue;
      case 'u':
        break;
      default:
        return fail("Illegal escape character");
    }

    std::uint32_t hi = 0;
    int got = readHexQuad(s, i, hi);
    if (got == 0) break;
    if (got < 0) return fail("Invalid hex quad");
    i += 4;
    if (hi >= 0xDC00 && hi <= 0xDFFF) return fail("Invalid high character in surrogate pair");
    if (hi >= 0xD800 && hi <= 0xDBFF) {
      // A low surrogate escape must follow: backslash, u, four hex digits.
      if (i >= n) break;
      if (b[i] != '\\') return fail("Missing low character in surrogate pair");
      if (i + 1 >= n) break;
      if (b[i + 1] != 'u') return fail("Missing low character in surrogate pair");
      std::uint32_t lo = 0;
      got = readHexQuad(s, i + 2, lo);
      if (got == 0) break;
      if (got < 0) return fail("Missing low character in surrogate pair");
      if (lo < 0xDC00 || lo > 0xDFFF) return fail("Invalid low character in surrogate pair");
      i += 6;
      appendUtf8(string_, 0x10000 + ((hi - 0xD800) << 10) + (lo - 0xDC00));
    } else {
      appendUtf8(string_, hi);
    }
  }

  // The data ended inside the string: put the cursor back to the token's start.
  s.setIndex(tokenStart);
  return SBJsonTokenEOF;
}

int SBJsonTokeniser::getNumberToken(std::size_t tokenStart) {
  SBJsonUTF8Stream& s = stream_;
  const std::size_t n = s.length();
  std::size_t i = tokenStart;
  // Beyond this the explicit exponent only says "very large": it is no longer accumulated.
  constexpr std::int64_t kExponentCap = 1'000'000'000;

  bool negative = false;
  if (s.unitAt(i) == '-') {
    negative = true;
    ++i;
    if (i >= n) return SBJsonTokenEOF;
    if (!isDigit(s.unitAt(i))) return fail("No digits after initial minus");
  }

  std::uint64_t mantissa = 0;
  std::size_t digits = 0;
  std::int64_t fractionDigits = 0;
  bool isDecimal = false;

  if (s.unitAt(i) == '0') {
    ++i;
    ++digits;
    if (i >= n) {
      s.setIndex(tokenStart);
      return SBJsonTokenEOF;
    }
    if (isDigit(s.unitAt(i))) return fail("Leading zero is illegal in number");
  } else {
    while (i < n && isDigit(s.unitAt(i))) {
      mantissa = mantissa * 10 + (s.unitAt(i) - '0');  // wraps harmlessly past 19 digits (text is used)
      ++digits;
      ++i;
    }
  }
  if (i >= n) {
    s.setIndex(tokenStart);
    return SBJsonTokenEOF;
  }

  if (s.unitAt(i) == '.') {
    isDecimal = true;
    ++i;
    if (i >= n) {
      s.setIndex(tokenStart);
      return SBJsonTokenEOF;
    }
    if (!isDigit(s.unitAt(i))) return fail("No digits after decimal point");
    while (i < n && isDigit(s.unitAt(i))) {
      mantissa = mantissa * 10 + (s.unitAt(i) - '0');
      ++digits;
      ++fractionDigits;
      ++i;
    }
    if (i >= n) {
      s.setIndex(tokenStart);
      return SBJsonTokenEOF;
    }
  }

  std::int64_t explicitExponent = 0;
  if (s.unitAt(i) == 'e' || s.unitAt(i) == 'E') {
    isDecimal = true;
    ++i;
    if (i >= n) {
      s.setIndex(tokenStart);
      return SBJsonTokenEOF;
    }
    bool negativeExponent = false;
    if (s.unitAt(i) == '+' || s.unitAt(i) == '-') {
      negativeExponent = s.unitAt(i) == '-';
      ++i;
      if (i >= n) {
        s.setIndex(tokenStart);
        return SBJsonTokenEOF;
      }
    }
    if (!isDigit(s.unitAt(i))) return fail("No digits in exponent");
    while (i < n && isDigit(s.unitAt(i))) {
      if (explicitExponent < kExponentCap) explicitExponent = explicitExponent * 10 + (s.unitAt(i) - '0');
      ++i;
    }
    if (i >= n) {
      s.setIndex(tokenStart);
      return SBJsonTokenEOF;
    }
    if (negativeExponent) explicitExponent = -explicitExponent;
  }
  s.setIndex(i);

  const std::int64_t exponent = explicitExponent - fractionDigits;
  if (digits >= 19 || exponent < INT16_MIN || exponent > INT16_MAX) {
    // Too many digits for the 64-bit mantissa, or an exponent beyond 16 bits: keep the exact
    // decimal of the token's text rather than a wrapped value.
    auto d = JsonDecimal::fromText(std::string_view(s.bytes() + tokenStart, i - tokenStart));
    number_ = d ? JsonValue(std::move(*d)) : JsonValue(JsonDecimal{});
  } else if (!isDecimal) {
    number_ = negative ? JsonValue::makeSigned(-static_cast<std::int64_t>(mantissa))
                       : JsonValue::makeUnsigned(mantissa);
  } else {
    number_ = JsonValue(JsonDecimal(mantissa, static_cast<std::int16_t>(exponent), negative));
  }
  return SBJsonTokenNumber;
}

}  // namespace tonvera
