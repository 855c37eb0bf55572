// Song-title text rules: the canonical form of a title or artist text and the test that decides
// whether a song counts as English (the "enplay" filter of the radio).
//
// Texts are sequences of UTF-16 code units and every rule works unit by unit: a character outside
// the Basic Multilingual Plane is two units, neither of them ASCII. The UTF-8 overloads convert to
// UTF-16 first (malformed bytes become U+FFFD) and give the same answers.
//
// Threads: pure functions over their arguments; any thread may call them.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace tonvera {

// Latin-lettered names of Chinese-language acts whose artist texts never count as English, even
// though they are plain ASCII. A three-letter name upper case, lower case and with a full stop
// after each of its first two letters, and a six-letter name upper case. Matched as substrings,
// case-sensitively.
inline constexpr std::array<std::u16string_view, 4> kExemptArtistForms{u"SHE", u"she", u"S.H.E", u"MAYDAY"};

// The canonical form: drops ASCII punctuation, its full-width forms, nine CJK brackets and stops,
// the space and the ideographic space; upper-cases ASCII letters (only those); keeps everything
// else unit by unit. An empty text has no canonical form (std::nullopt); a text made only of
// dropped characters gives the empty text.
std::optional<std::u16string> makeVeryPureText(std::u16string_view text);
std::optional<std::string> makeVeryPureText(std::string_view utf8);

// True when every code unit is at most U+007F. The empty text is English.
bool isEnglish(std::u16string_view text);
bool isEnglish(std::string_view utf8);

// isEnglish for artist texts: false as soon as the text contains one of kExemptArtistForms.
bool isEnglishArtis(std::u16string_view text);
bool isEnglishArtis(std::string_view utf8);

}  // namespace tonvera
