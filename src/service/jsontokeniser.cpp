#include "service/jsontokeniser.h"

#include "platform/utf8.h"
#include <array>
#include <cstdio>
#include <cstring>

namespace tonvera {

namespace {

// Character classes of the string scanner: bytes that end a run of plain string bytes.
constexpr std::array<bool, 256> makeStringStops() {
  std::array<bool, 256> t{};
  for (int c = 0; c < 0x20; ++c) t[c] = true;
  t['"'] = true;
  t['\\'] = true;
  return t;
}
constexpr std::array<bool, 256> kStringStop = makeStringStops();

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

int SBJsonTokeniser::getToken() {
  SBJsonUTF8Stream& s = stream_;
  std::size_t i = s.index();
  const std::size_t n = s.length();
  const char* b = s.bytes();
  while (i < n && (b[i] == ' ' || b[i] == '\t' || b[i] == '\n' || b[i] == '\r')) ++i;
  s.setIndex(i);
  if (i >= n) return SBJsonTokenEOF;

  const std::uint16_t c = s.unitAt(i);
  switch (c) {
    case '[':
      s.setIndex(i + 1);
      return SBJsonTokenArrayStart;
    case ']':
      s.setIndex(i + 1);
      return SBJsonTokenArrayEnd;
    case '{':
      s.setIndex(i + 1);
      return SBJsonTokenObjectStart;
    case '}':
      s.setIndex(i + 1);
      return SBJsonTokenObjectEnd;
    case ',':
      s.setIndex(i + 1);
      return SBJsonTokenValueSeparator;
    case ':':
      s.setIndex(i + 1);
      return SBJsonTokenKeyValueSeparator;
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
    std::snprintf(message, sizeof message, "Expected '%.*s' after initial '%.1s'", static_cast<int>(word.size()),
                  word.data(), word.data());
    return fail(message);
  }
  s.setIndex(tokenStart + word.size());
  return token;
}

int SBJsonTokeniser::getStringToken(std::size_t tokenStart) {
  SBJsonUTF8Stream& s = stream_;
  const char* b = s.bytes();
  const std::size_t n = s.length();
  std::size_t i = tokenStart + 1;
  bool collected = false;
  string_.clear();

  for (;;) {
    // The longest run of plain bytes.
    const std::size_t runStart = i;
    while (i < n && !kStringStop[static_cast<unsigned char>(b[i])]) ++i;
    if (i >= n) break;  // ran out of data
    const std::string_view run(b + runStart, i - runStart);
    if (!isValidUtf8(run)) return fail("Broken Unicode encoding");

    const unsigned char c = static_cast<unsigned char>(b[i]);
    if (c == '"') {
      if (!collected) {
        string_.assign(run);
      } else {
        string_.append(run);
      }
      s.setIndex(i + 1);
      return SBJsonTokenString;
    }
    string_.append(run);
    collected = true;
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
    number_ = negative ? JsonValue::makeSigned(-static_cast<std::int64_t>(mantissa)) : JsonValue::makeUnsigned(mantissa);
  } else {
    number_ = JsonValue(JsonDecimal(mantissa, static_cast<std::int16_t>(exponent), negative));
  }
  return SBJsonTokenNumber;
}

}  // namespace tonvera
