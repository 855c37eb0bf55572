#include "radio/titlerules.h"

#include "platform/utf8.h"
#include <algorithm>
#include <bitset>
#include <cstdint>

namespace tonvera {
namespace {

// The characters the canonical form drops: ASCII punctuation, the same punctuation as full-width
// forms in the same order, nine CJK stops and brackets, and the two spaces.
constexpr std::u16string_view kRemovedUnits =
    u"`~!@#$%^&*()-_=+[{]}\\|;:'\",<.>/?"
    u"\uFF40\uFF5E\uFF01\uFF20\uFF03\uFF04\uFF05\uFF3E\uFF06\uFF0A\uFF08\uFF09\uFF0D\uFF3F\uFF1D\uFF0B"
    u"\uFF3B\uFF5B\uFF3D\uFF5D\uFF3C\uFF5C\uFF1B\uFF1A\uFF07\uFF02\uFF0C\uFF1C\uFF0E\uFF1E\uFF0F\uFF1F"
    u"\u3002\u300A\u300B\u3016\u3017\u3010\u3011\u300E\u300F"
    u"\u0020\u3000";
static_assert(kRemovedUnits.size() == 75);

// Membership by block: every removed unit lies in one of three 128-unit windows, so one bitset per
// window answers in constant time.
struct RemovalTable {
  static constexpr char16_t kBases[3] = {0x0000, 0x3000, 0xFF00};
  std::bitset<128> windows[3];

  RemovalTable() {
    for (char16_t unit : kRemovedUnits) {
      for (int w = 0; w < 3; ++w) {
        if (unit >= kBases[w] && unit < kBases[w] + 128) {
          windows[w].set(unit - kBases[w]);
        }
      }
    }
  }

  bool contains(char16_t unit) const {
    for (int w = 0; w < 3; ++w) {
      if (unit >= kBases[w] && unit < kBases[w] + 128) {
        return windows[w].test(unit - kBases[w]);
      }
    }
    return false;
  }
};

const RemovalTable& removalTable() {
  static const RemovalTable table;
  return table;
}

constexpr char16_t kReplacement = 0xFFFD;

std::u16string utf16FromUtf8(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const auto* end = p + utf8.size();
  while (p < end) {
    const unsigned char lead = *p;
    if (lead < 0x80) {
      out.push_back(lead);
      ++p;
      continue;
    }
    // Well-formed sequences only (Unicode's table of well-formed UTF-8): the lead byte fixes the
    // length and the range of the second byte, which rules out overlong forms, surrogates and values
    // above U+10FFFF. A maximal ill-formed prefix becomes one U+FFFD and decoding resumes after it.
    int length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    char32_t cp = lead & (0x7F >> length);
    int taken = 1;
    while (taken < length && p + taken < end) {
      const unsigned char next = p[taken];
      const bool fits = taken == 1 ? (next >= low && next <= high) : (next & 0xC0) == 0x80;
      if (!fits) break;
      cp = (cp << 6) | (next & 0x3F);
      ++taken;
    }
    if (length == 0 || taken < length) {
      out.push_back(kReplacement);
      p += taken;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    p += taken;
  }
  return out;
}

std::string utf8FromUtf16(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char16_t unit = utf16[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      appendUtf8(out, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      appendUtf8(out, kReplacement);
    } else {
      appendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace

std::optional<std::u16string> makeVeryPureText(std::u16string_view text) {
  if (text.empty()) {
    return std::nullopt;
  }
  const RemovalTable& removed = removalTable();
  std::u16string result;
  result.reserve(text.size());
  for (char16_t unit : text) {
    if (removed.contains(unit)) {
      continue;
    }
    if (unit >= u'a' && unit <= u'z') {
      unit = static_cast<char16_t>(unit - 32);
    }
    result.push_back(unit);
  }
  return result;
}

std::optional<std::string> makeVeryPureText(std::string_view utf8) {
  // Removing BMP units and changing ASCII case never splits a surrogate pair, so the result goes
  // back to UTF-8 unchanged apart from the rules.
  auto pure = makeVeryPureText(std::u16string_view(utf16FromUtf8(utf8)));
  if (!pure) {
    return std::nullopt;
  }
  return utf8FromUtf16(*pure);
}

bool isEnglish(std::u16string_view text) {
  return std::all_of(text.begin(), text.end(), [](char16_t unit) { return unit <= 0x7F; });
}

bool isEnglish(std::string_view utf8) { return isEnglish(std::u16string_view(utf16FromUtf8(utf8))); }

bool isEnglishArtis(std::u16string_view text) {
  for (std::u16string_view form : kExemptArtistForms) {
    if (text.find(form) != std::u16string_view::npos) {
      return false;
    }
  }
  return isEnglish(text);
}

bool isEnglishArtis(std::string_view utf8) {
  return isEnglishArtis(std::u16string_view(utf16FromUtf8(utf8)));
}

}  // namespace tonvera
