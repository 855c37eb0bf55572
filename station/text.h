#pragma once
// Text helpers of the station: UTF-8 checks, percent-decoding of query values, and the folding that
// makes search and id keys ignore case and width (full-width Latin letters match half-width ones;
// Chinese text is matched character by character).
// Pure functions; any thread may call them.

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/utf8.h"

namespace tonvera::station {

// The program's one UTF-8 validator.
using tonvera::isValidUtf8;

// Invalid UTF-8 sequences replaced by U+FFFD; other text unchanged.
std::string toValidUtf8(std::string_view text);

// Decodes %XX escapes (and '+' as a space when `plusIsSpace`). Nothing when a '%' is not followed
// by two hexadecimal digits.
std::optional<std::string> percentDecode(std::string_view text, bool plusIsSpace);

// Compatibility-normalised (NFKC), case-folded, with runs of white space made one space and the
// ends trimmed.
std::string foldText(std::string_view utf8);

}  // namespace tonvera::station

namespace tonvera::station {

// The pairs of an "application/x-www-form-urlencoded" body, names and values decoded. Nothing when
// an escape is malformed or a decoded text is not UTF-8.
std::optional<std::vector<std::pair<std::string, std::string>>> parseForm(std::string_view body);

// A search text as the player sends it: escaped once by the search page and once more by the
// request layer, so a value still holding escapes after the usual decoding is decoded again.
// Nothing when the text is not UTF-8.
std::optional<std::string> decodeQueryText(std::string_view onceDecoded);

}  // namespace tonvera::station
