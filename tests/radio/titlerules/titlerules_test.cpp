#include "radio/titlerules.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace tonvera {
namespace {

// The 75 characters that the canonical form drops, written out independently of the code.
const std::u16string kAsciiPunctuation = u"`~!@#$%^&*()-_=+[{]}\\|;:'\",<.>/?";
const std::u16string kFullWidthPunctuation =
    u"｀～！＠＃＄％＾＆＊（）－＿＝＋［｛］｝＼｜；：＇＂，＜．＞／？";
const std::u16string kCjkPunctuation = u"。《》〖〗【】『』";
const std::u16string kSpaces = u" \u3000";

std::u16string allRemoved() { return kAsciiPunctuation + kFullWidthPunctuation + kCjkPunctuation + kSpaces; }

TEST(MakeVeryPureText, GivesTheCanonicalForm) {
  const struct {
    const char* name;
    std::u16string input;
    std::optional<std::u16string> expected;
  } cases[] = {// (Each code unit on its own is the next test's; plain titles are the UTF-8 table's.)
               {"OnlyRemovedGivesEmpty", allRemoved(), u""},
               {"LensAndAngleBracketsGo", u"《青花瓷》【现场版】〖Demo〗『Mix』", u"青花瓷现场版DEMOMIX"},
               {"SurrogatePairsStayWhole", u"\U0001F3B5 music \U00020000", u"\U0001F3B5MUSIC\U00020000"},
               {"LoneSurrogateStays", std::u16string(1, char16_t(0xD800)) + u"x",
                std::u16string(1, char16_t(0xD800)) + u"X"}};
  for (const auto& c : cases) EXPECT_EQ(makeVeryPureText(c.input), c.expected) << c.name;
}

// Every BMP code unit on its own: dropped exactly when it is one of the 75, upper-cased exactly when
// it is an ASCII small letter, otherwise kept as it is.
TEST(MakeVeryPureTextUnits, EveryUnitFollowsTheRule) {
  const std::u16string removed = allRemoved();
  ASSERT_EQ(removed.size(), 75u);
  int dropped = 0;
  for (char32_t u = 0; u <= 0xFFFF; ++u) {
    const char16_t unit = static_cast<char16_t>(u);
    const bool drop = removed.find(unit) != std::u16string::npos;
    const std::u16string want =
        drop ? u"" : std::u16string(1, unit >= u'a' && unit <= u'z' ? unit - 32 : unit);
    EXPECT_EQ(makeVeryPureText(std::u16string(1, unit)), want) << std::hex << static_cast<unsigned>(u);
    dropped += drop;
  }
  EXPECT_EQ(dropped, 75);
}

TEST(EnglishRules, DecideByCodeUnitsAndExemptNames) {
  const struct {
    const char* name;
    std::u16string text;
    bool english;
    bool englishArtist;
  } cases[] = {{"PlainAscii", u"HELLOWORLD", true, true},
               {"Empty", u"", true, true},
               {"OneCjkCharacter", u"HELLO世", false, false},
               {"DeleteIsAscii", u"A\x7F", true, true},
               {"FirstUnitAboveAscii", u"A\u0080", false, false},
               {"AccentedLetter", u"BEYONCé", false, false},
               {"SurrogatePair", u"A\U0001F3B5", false, false},
               {"FullWidthLetters", u"ＡＢＣ", false, false},
               {"SixLetterNameInsideLetters", u"XMAYDAYZ", true, false},
               {"SixLetterNameOtherCase", u"Mayday", true, true},
               {"ThreeLetterLower", u"she", true, false},
               {"ThreeLetterDottedTrailingStop", u"S.H.E.", true, false},
               {"ThreeLetterInsideAWord", u"ASHESTOASHES", true, false},
               {"ThreeLetterMixedCase", u"She", true, true},
               {"ThreeLetterSpaced", u"S H E", true, true},
               {"EnglishBand", u"THEBEATLES", true, true}};
  for (const auto& c : cases) {
    EXPECT_EQ(isEnglish(c.text), c.english) << c.name;
    EXPECT_EQ(isEnglishArtis(c.text), c.englishArtist) << c.name;
  }
}

TEST(Utf8Overloads, AgreeWithTheUtf16Rules) {
  struct Case {
    std::string utf8;
    std::optional<std::string> pure;
    bool english, englishArtist;
  } cases[] = {
      {"Hello, World!", "HELLOWORLD", true, true},
      {"", std::nullopt, true, true},
      {"晴天（live）", "晴天LIVE", false, false},
      {"\xF0\x9F\x8E\xB5 la", "\xF0\x9F\x8E\xB5LA", false, false},
      {"xMAYDAYx", "XMAYDAYX", true, false},
      {"\xFF!", "\xEF\xBF\xBD", false, false},                 // a malformed byte reads as U+FFFD
      {"\xE6\x99", "\xEF\xBF\xBD", false, false},              // truncated sequence
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD", false, false},  // overlong solidus: two bad bytes
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD", false, false},  // encoded surrogate
      {"\xE0\xA4\x85", "\xE0\xA4\x85", false, false},          // lead byte E0, the lowest of three
      {"\xF4\x8F\xBF\xBF", "\xF4\x8F\xBF\xBF", false, false},  // U+10FFFF: high surrogate DBFF
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.utf8);
    EXPECT_EQ(makeVeryPureText(std::string_view(c.utf8)), c.pure);
    EXPECT_EQ(isEnglish(std::string_view(c.utf8)), c.english);
    EXPECT_EQ(isEnglishArtis(std::string_view(c.utf8)), c.englishArtist);
  }
  // A sequence cut by the end of the text is not completed from the bytes after it.
  EXPECT_EQ(makeVeryPureText(std::string_view("\xE6\x99\xB4", 2)), "\xEF\xBF\xBD");
}

}  // namespace
}  // namespace tonvera
