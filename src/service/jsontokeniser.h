#pragma once
// The JSON reader's lowest layer: a UTF-8 byte cursor over appended data, and the tokeniser that
// cuts it into tokens (structural characters, strings, numbers, the three words).
//
// Threads: one thread at a time per object (owned by one stream parser).

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "service/jsonvalue.h"

namespace tonvera {

// Token kinds, in the order the parser's tables use.
enum SBJsonToken : int {
  SBJsonTokenError = -1,
  SBJsonTokenEOF = 0,
  SBJsonTokenArrayStart = 1,
  SBJsonTokenArrayEnd = 2,
  SBJsonTokenObjectStart = 3,
  SBJsonTokenObjectEnd = 4,
  SBJsonTokenValueSeparator = 5,
  SBJsonTokenKeyValueSeparator = 6,
  SBJsonTokenNumber = 7,
  SBJsonTokenString = 8,
  SBJsonTokenTrue = 9,
  SBJsonTokenFalse = 10,
  SBJsonTokenNull = 11,
};
inline constexpr int kSBJsonTokenKinds = 12;

// The token's name in error messages ("start of array", ...); "<aaiiie!>" outside the table.
const char* tokenName(int token);

// The bytes being read with the index of the next byte. Every byte counts as a signed 8-bit value
// widened to a 16-bit code unit, so bytes of 0x80 and above are never digits, whitespace or
// structural characters; inside strings they pass through and are checked as UTF-8 as a whole.
//
// When nothing is left over from earlier data, appended data is read where it stands (no copy);
// keepUnread() must then be called before that data goes away, and copies the bytes not yet read
// (a token cut off by the end of the data) into the stream's own buffer, where the next append
// continues them.
class SBJsonUTF8Stream {
 public:
  // Discards the bytes before the index, then appends `data`.
  void appendData(std::string_view data);
  // Makes the stream independent of the data last appended: the unread bytes are copied.
  void keepUnread();

  const char* bytes() const { return data_; }
  std::size_t length() const { return length_; }
  std::size_t index() const { return index_; }
  void setIndex(std::size_t i) { index_ = i; }
  bool haveRemainingCharacters(std::size_t n) const { return length() - index_ >= n; }

  // The byte at `i` as a 16-bit code unit (0xFF80 and above for bytes >= 0x80).
  std::uint16_t unitAt(std::size_t i) const {
    return static_cast<std::uint16_t>(static_cast<std::int16_t>(static_cast<std::int8_t>(data_[i])));
  }

 private:
  std::string buffer_;     // own copy of the bytes when they are not read in place
  const char* data_ = "";  // the bytes: buffer_'s, or the caller's data read in place
  std::size_t length_ = 0;
  std::size_t index_ = 0;
};

// Cuts the cursor's bytes into tokens. After a string token, string() views its decoded UTF-8 text
// (the bytes in place when the string has no escapes, else a decoded copy; valid until the next token
// or append); after a number token, number() its value; after an error token, error()
// the message. A token that runs past the data leaves the cursor at its start and reads as end of
// input, so parsing can resume when more data is appended.
class SBJsonTokeniser {
 public:
  SBJsonUTF8Stream& stream() { return stream_; }
  void appendData(std::string_view data) { stream_.appendData(data); }

  // The next token. Inline: most tokens are one structural character.
  int getToken() {
    std::size_t i = stream_.index();
    const std::size_t n = stream_.length();
    const char* b = stream_.bytes();
    while (i < n && kTokenOfByte[static_cast<unsigned char>(b[i])] == kWhitespace) ++i;
    if (i >= n) {
      stream_.setIndex(i);
      return SBJsonTokenEOF;
    }
    const int token = kTokenOfByte[static_cast<unsigned char>(b[i])];
    if (token > 0) {
      stream_.setIndex(i + 1);
      return token;
    }
    stream_.setIndex(i);
    return b[i] == '"' ? getStringToken(i) : getValueToken(i);
  }

  std::string_view string() const { return text_; }
  JsonValue& number() { return number_; }
  const std::string& error() const { return error_; }

 private:
  // The token of a byte that is a token by itself (structural characters), kWhitespace for the
  // four whitespace bytes, 0 for the others.
  static constexpr int kWhitespace = -1;
  static constexpr std::array<std::int8_t, 256> kTokenOfByte = [] {
    std::array<std::int8_t, 256> t{};
    t[' '] = t['\t'] = t['\n'] = t['\r'] = kWhitespace;
    t['['] = SBJsonTokenArrayStart;
    t[']'] = SBJsonTokenArrayEnd;
    t['{'] = SBJsonTokenObjectStart;
    t['}'] = SBJsonTokenObjectEnd;
    t[','] = SBJsonTokenValueSeparator;
    t[':'] = SBJsonTokenKeyValueSeparator;
    return t;
  }();

  // A token starting at `i` that is not a structural character: a string, number, word or error.
  int getValueToken(std::size_t i);
  int getStringToken(std::size_t tokenStart);
  int getNumberToken(std::size_t tokenStart);
  int matchWord(std::size_t tokenStart, std::string_view word, int token);
  int fail(std::string message);

  SBJsonUTF8Stream stream_;
  std::string string_;     // decoded text of a string with escapes
  std::string_view text_;  // the last string token's text
  JsonValue number_;
  std::string error_;
};

}  // namespace tonvera
