// The JSON reader: results and exact error texts for the edge cases, entry-point agreement, and the
// stream parser resuming across chunk boundaries.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "service/jsonstreamparser.h"
#include "service/jsonvalue.h"
#include "service/plistconvert.h"

namespace tonvera {
namespace {

// "=<canonical text with kinds>" on success, "!<error text>" on failure.
std::string outcome(std::string_view input) {
  SBJsonParser parser;
  auto value = parser.objectWithData(input);
  if (value) return "=" + toCanonicalJson(*value, true);
  return "!" + parser.error();
}

// The same input fed to one stream parser in pieces of `chunk` bytes. Each piece is overwritten as
// soon as parse() returns: the parser must keep a copy of what it still needs.
std::string chunkedOutcome(std::string_view input, std::size_t chunk) {
  SBJsonStreamParserAdapter adapter;
  SBJsonStreamParser parser(&adapter);
  parser.setMaxDepth(SBJsonParser::kDefaultMaxDepth);
  auto status = SBJsonStreamParserStatus::WaitingForData;
  if (input.empty()) status = parser.parse({});
  std::string piece;
  for (std::size_t at = 0; at < input.size(); at += chunk) {
    piece.assign(input.substr(at, chunk));
    status = parser.parse(piece);
    piece.assign(piece.size(), '"');
  }
  switch (status) {
    case SBJsonStreamParserStatus::Complete:
      return "=" + toCanonicalJson(*adapter.value(), true);
    case SBJsonStreamParserStatus::WaitingForData:
      return "!Unexpected end of input";
    case SBJsonStreamParserStatus::Error:
      return "!" + parser.error();
  }
  return "?";
}

std::string nested(int depth) { return std::string(depth, '[') + std::string(depth, ']'); }

// An object of 40 members ("k39" down to "k00"), given backwards, whose "k05" comes again at the
// end with the value 99; as read, and as it comes out.
std::string wideObject(bool read) {
  std::string s = "{";
  for (int i = 0; i < 40; ++i) {
    const int k = read ? 39 - i : i;
    const int value = !read && k == 5 ? 99 : k;
    s += (i ? ",\"k" : "\"k") + std::string(k < 10 ? "0" : "") + std::to_string(k) +
         "\":" + (read ? "" : "u:") + std::to_string(value);
  }
  return s + (read ? ",\"k05\":99}" : "}");
}

struct Case {
  const char* what;
  std::string input;
  std::string expected;
};

const std::vector<Case>& cases() {
  static const std::vector<Case> all = {
      // Structure.
      {"whitespace of all four kinds", " \t[1]\r\n", "=[u:1]"},
      {"nested containers", R"({"a":[1,{"b":null}],"c":{}})", R"(={"a":[u:1,{"b":null}],"c":{}})"},
      {"words", "[true,false,null]", "=[true,false,null]"},
      {"duplicate key keeps the later value", R"({"a":1,"a":2})", R"(={"a":u:2})"},
      {"keys come out in byte order", R"({"b":1,"a":2,"B":3})", R"(={"B":u:3,"a":u:2,"b":u:1})"},
      {"40 keys backwards, one repeated", wideObject(true), "=" + wideObject(false)},
      {"32 nested arrays", nested(32), "=" + nested(32)},
      {"33 nested arrays", nested(33), "!Input depth exceeds max depth of 32"},
      {"33 nested objects and arrays",
       std::string(16, '[') + R"({"a":)" + nested(16) + "}" + std::string(16, ']'),
       "!Input depth exceeds max depth of 32"},

      // The outer-most value.
      {"number first", "1 ", "!Token 'number' not expected before outer-most array or object"},
      {"empty input", "", "!Unexpected end of input"},
      {"second document", "[1] [2]", "!Token 'start of array' not expected after outer-most array or object"},

      // Token-not-expected in each state.
      {"comma then end of array", "[1,]", "!Token 'end of array' not expected as array value"},
      {"comma then end of object", R"({"a":1,})",
       "!Token 'end of object' not expected in place of object key"},
      {"number as key", "{1:2}", "!Token 'number' not expected at beginning of object"},
      {"no colon", R"({"a" 1})", "!Token 'number' not expected after object key"},
      {"no comma in array", "[1 2]", "!Token 'number' not expected after array value"},
      {"no comma in object", R"({"a":1 "b":2})", "!Token 'string' not expected after object value"},
      {"colon in array", "[1:2]", "!Token 'key-value separator' not expected after array value"},
      {"leading comma", "[,1]", "!Token 'value separator' not expected at array start"},
      {"missing value", R"({"a":})", "!Token 'end of object' not expected as object value"},
      {"closing the wrong kind", "[}", "!Token 'end of object' not expected at array start"},
      {"closing the wrong kind after a value", R"({"a":1])",
       "!Token 'end of array' not expected after object value"},
      {"lone end", "]", "!Token 'end of array' not expected before outer-most array or object"},

      // Running out of input.
      {"open array", "[1", "!Unexpected end of input"},
      {"unclosed string value", R"({"a":"bc)", "!Unexpected end of input"},
      {"backslash at the end", R"(["a\)", "!Unexpected end of input"},
      {"short hex quad at the end", R"(["\u12)", "!Unexpected end of input"},
      {"half a surrogate pair at the end", R"(["\uD834\u)", "!Unexpected end of input"},
      {"word cut short by the end", "[tr", "!Unexpected end of input"},
      {"word with too few bytes left", "[tr]", "!Unexpected end of input"},

      // Numbers.
      {"leading zero", "[01]", "!Leading zero is illegal in number"},
      {"no fraction digits", "[1.]", "!No digits after decimal point"},
      {"no exponent digits", "[1e]", "!No digits in exponent"},
      {"lone minus", "[-]", "!No digits after initial minus"},
      {"leading plus", "[+1]", "!Leading + is illegal in number"},
      {"18-digit integer is unsigned", "[123456789012345678]", "=[u:123456789012345678]"},
      {"19-digit integer is a decimal from its text", "[1234567890123456789]", "=[d:1234567890123456789e0]"},
      {"negative integer is signed", "[-5]", "=[i:-5]"},
      {"negative zero is the signed integer 0", "[-0]", "=[i:0]"},
      {"zero is unsigned", "[0]", "=[u:0]"},
      {"fraction and exponent", "[1.5e2]", "=[d:15e1]"},
      {"upper-case exponent with sign", "[2E-3]", "=[d:2e-3]"},
      {"explicit plus exponent", "[2e+3]", "=[d:2e3]"},
      {"negative decimal", "[-0.25]", "=[d:-25e-2]"},
      {"leading zero of a fraction counts as a digit", "[0.000000000000000001]", "=[d:1e-18]"},
      {"exponent beyond 16 bits keeps its value", "[1e40000]", "=[d:1e40000]"},
      {"negative exponent beyond 16 bits", "[1.5e-40000]", "=[d:15e-40001]"},
      {"exponent at the 16-bit edge", "[1e32767]", "=[d:1e32767]"},
      {"number followed by a word letter", "[1x]", "!Illegal start of token [x]"},

      // Words and other starts.
      {"misspelt true", "[tru]", "!Expected 'true' after initial 't'"},
      {"capitalised word", "[True]", "!Illegal start of token [T]"},
      {"form feed is not whitespace", "[\f1]", "!Illegal start of token [\f]"},
      {"non-ASCII byte as start", "[\xC3\xA9]", "!Illegal start of token [\xC3\x83]"},

      // Strings.
      {"escapes", R"(["\"\\\/\b\f\n\r\t"])", R"(=["\"\\/\b\f\n\r\t"])"},
      {"raw NUL", std::string("[\"\0\"]", 5), "!Unescaped control character [0x00]"},
      {"raw unit separator", "[\"\x1F\"]", "!Unescaped control character [0x1F]"},
      {"DEL passes", "[\"\x7F\"]", "=[\"\x7F\"]"},
      {"illegal escape", R"(["\a"])", "!Illegal escape character"},
      {"bad hex quad", R"(["\u12G4"])", "!Invalid hex quad"},
      {"hex quad of both cases", R"(["\u00e9\u00C9"])", "=[\"\xC3\xA9\xC3\x89\"]"},
      {"escaped NUL", R"(["\u0000"])", R"(=["\u0000"])"},
      {"surrogate pair", R"(["\uD834\uDD1E"])", "=[\"\xF0\x9D\x84\x9E\"]"},
      {"high surrogate without low", R"(["\uD834x"])", "!Missing low character in surrogate pair"},
      {"high surrogate then other escape", R"(["\uD834\n"])", "!Missing low character in surrogate pair"},
      {"high surrogate then bad quad", R"(["\uD834\uDZ00"])", "!Missing low character in surrogate pair"},
      {"high surrogate then non-low", R"(["\uD834\u0041"])", "!Invalid low character in surrogate pair"},
      {"lone low surrogate", R"(["\uDD1E"])", "!Invalid high character in surrogate pair"},
      {"four-byte UTF-8", "[\"\xF0\x9F\x8E\xB5\"]", "=[\"\xF0\x9F\x8E\xB5\"]"},
      {"Chinese around escapes", "[\"\xE4\xB8\xAD\\n\xE6\x96\x87\"]", "=[\"\xE4\xB8\xAD\\n\xE6\x96\x87\"]"},
      {"invalid byte", "[\"\xFF\"]", "!Broken Unicode encoding"},
      {"truncated sequence before the quote", "[\"\xE4\xB8\"]", "!Broken Unicode encoding"},
      {"overlong form", "[\"\xC0\xAF\"]", "!Broken Unicode encoding"},
      {"UTF-8 encoded surrogate", "[\"\xED\xA0\x80\"]", "!Broken Unicode encoding"},
      {"beyond U+10FFFF", "[\"\xF4\x90\x80\x80\"]", "!Broken Unicode encoding"},
      {"broken run after an escape", "[\"\\n\xFF\"]", "!Broken Unicode encoding"},
      {"the first problem wins", "[\"\xFF\\q\"]", "!Broken Unicode encoding"},
      {"byte of 0x80+ outside strings", "[1,\x80]", "!Illegal start of token [\xC2\x80]"},
  };
  return all;
}

// Each edge case gives its value or its exact message, whole and in any chunking.
TEST(JsonReader, EdgeCasesGiveTheirValueOrExactMessageInAnyChunking) {
  for (const auto& c : cases()) {
    EXPECT_EQ(outcome(c.input), c.expected) << c.what;
    for (std::size_t chunk : {1u, 2u, 3u, 7u}) {
      EXPECT_EQ(chunkedOutcome(c.input, chunk), c.expected) << c.what << " in chunks of " << chunk;
    }
  }
}

TEST(JsonReader, NumberKindsAreDistinguishable) {
  auto v = parseJson("[18446744073709551615, 123456789012345678, -5, 1.5e2, 1234567890123456789, true]");
  // 18446744073709551615 has 20 digits: a decimal from its text.
  ASSERT_TRUE(v);
  const auto& a = v->array();
  ASSERT_EQ(a.size(), 6u);
  EXPECT_TRUE(a[0].decimal()->isWide());
  EXPECT_EQ(a[0].decimal()->significand(), "18446744073709551615");
  EXPECT_EQ(a[0].toUnsigned(), 0u) << "beyond 2^64 after rounding to double";
  EXPECT_EQ(a[1].toUnsigned(), 123456789012345678u);
  EXPECT_EQ(a[2].toInteger(), -5);
  EXPECT_EQ(a[2].toUnsigned(7), 7u);
  ASSERT_TRUE(a[3].isDecimal());
  EXPECT_FALSE(a[3].decimal()->isWide());
  EXPECT_DOUBLE_EQ(a[3].toReal(), 150.0);
  EXPECT_EQ(a[3].toInteger(), 150);
  EXPECT_TRUE(a[5].isBool());
  EXPECT_FALSE(a[5].isNumber());
}

TEST(JsonReader, DecimalConversions) {
  static const std::string kHugeInteger = "1" + std::string(309, '0');
  static const std::string kTiny = "0." + std::string(399, '0') + "1";  // 400 zeros: still written out
  struct D {
    const char* token;
    double value;
    const char* plain;
  };
  const D table[] = {
      {"-0.25", -0.25, "-0.25"},
      {"1.5e2", 150.0, "150"},
      {"2.50", 2.5, "2.5"},
      {"1e-3", 0.001, "0.001"},
      {"1e22", 1e22, "10000000000000000000000"},
      {"123456789012345678901234567890", 1.2345678901234568e29, "123456789012345678901234567890"},
      {"0.30000000000000004441", 0.30000000000000004, "0.30000000000000004441"},
      {"1.7976931348623157e308", 1.7976931348623157e308, nullptr},
      {"1e400", HUGE_VAL, nullptr},
      {"1e401", HUGE_VAL, "1e401"},
      {"1e-400", 0.0, kTiny.c_str()},
      {"4.9406564584124654e-324", 4.9406564584124654e-324, nullptr},
      {"-0.0", -0.0, "0"},
      {kHugeInteger.c_str(), HUGE_VAL, kHugeInteger.c_str()},  // 310 digits, no exponent
  };
  for (const auto& d : table) {
    auto v = parseJson(std::string("[") + d.token + "]");
    ASSERT_TRUE(v) << d.token;
    ASSERT_TRUE(v->array()[0].isDecimal()) << d.token;
    const JsonDecimal& dec = *v->array()[0].decimal();
    EXPECT_EQ(dec.toDouble(), d.value) << d.token;
    if (d.plain) {
      EXPECT_EQ(dec.toPlainString(), d.plain) << d.token;
    }
    auto wide = JsonDecimal::fromText(d.token);  // the form of long tokens: the same parts and value
    ASSERT_TRUE(wide) << d.token;
    EXPECT_EQ(*wide, dec) << d.token;
    EXPECT_EQ(wide->toDouble(), d.value) << d.token;
  }
  for (const char* bad : {"1.", "+1", "01x"}) EXPECT_FALSE(JsonDecimal::fromText(bad)) << bad;
  EXPECT_EQ(JsonDecimal::fromDouble(0.1).toString(), "1e-1");
  EXPECT_EQ(JsonDecimal::fromDouble(-1234.5).toString(), "-12345e-1");
  EXPECT_EQ(JsonDecimal::fromDouble(1e300).toDouble(), 1e300);
}

TEST(JsonReader, ValueReadsOfOtherKindsGiveFallbacks) {
  auto v = parseJson(R"({"id":12345,"name":"x","f":2.75,"big":1e300,"list":[1],"t":true})");
  ASSERT_TRUE(v);
  EXPECT_EQ((*v)["id"].toText(), "12345");
  EXPECT_EQ((*v)["name"].toText(), "x");
  EXPECT_EQ((*v)["f"].toText(), "2.75");
  EXPECT_EQ((*v)["t"].toText(), "1");
  EXPECT_EQ((*v)["list"].toText(), "");
  EXPECT_EQ((*v)["f"].toInteger(), 2);
  EXPECT_EQ((*v)["big"].toInteger(-1), -1);
  EXPECT_EQ((*v)["name"].toInteger(9), 9);
  EXPECT_EQ((*v)["missing"].toString("none"), "none");
  EXPECT_EQ((*v)["list"][0].toInteger(), 1);
  // Past the end even where the array's storage still holds a value.
  JsonValue::Array shrunk{JsonValue(JsonValue::Array{1}), JsonValue(JsonValue::Array{2})};
  shrunk.pop_back();
  EXPECT_TRUE(JsonValue(std::move(shrunk))[1].isNull());
  EXPECT_TRUE((*v)["name"].array().empty());
  EXPECT_TRUE((*v)["list"].object().empty());
}

TEST(JsonObject, EmplaceKeepsTheFirstValueAndSaysSo) {
  JsonObject o;
  EXPECT_TRUE(o.emplace("k", JsonValue(1)));
  EXPECT_FALSE(o.emplace("k", JsonValue(2)));
  EXPECT_EQ(o.find("k")->second, JsonValue(1));
}

// The parser's own entry points (callers mostly use parseJson): missing input, the error record, an
// error cleared by the next success, a depth limit of the caller's choice.
TEST(JsonReader, EntryPoints) {
  SBJsonParser parser;
  EXPECT_FALSE(parser.objectWithData(std::nullopt));
  EXPECT_EQ(parser.error(), "Input was 'nil'");
  JsonError error;
  EXPECT_FALSE(parser.objectWithString("[1,]", &error));
  EXPECT_EQ(error.domain, kJsonReaderErrorDomain);
  EXPECT_EQ(error.code, 0);
  EXPECT_EQ(error.description, "Token 'end of array' not expected as array value");
  // A success clears the parser's error and leaves the caller's record as it was.
  ASSERT_TRUE(parser.objectWithString(std::string_view("[1]"), &error));
  EXPECT_EQ(parser.error(), "");
  EXPECT_EQ(error.description, "Token 'end of array' not expected as array value");
  parser.setMaxDepth(2);
  EXPECT_TRUE(parser.objectWithData("[[]]"));
  EXPECT_FALSE(parser.objectWithData("[[[]]]"));
}

}  // namespace
}  // namespace tonvera
