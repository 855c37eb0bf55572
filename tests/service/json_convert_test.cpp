// JSON values <-> property-list values, and the canonical writer (escaping, key order, read-back).
// (Records through real property-list files: the taste store's tests.)
#include <gtest/gtest.h>

#include <string>

#include "platform/plist.h"
#include "service/jsonvalue.h"
#include "service/plistconvert.h"

namespace tonvera {
namespace {

JsonValue parsed(std::string_view text) {
  auto v = parseJson(text);
  EXPECT_TRUE(v) << text;
  return v ? *v : JsonValue();
}

TEST(JsonConvert, CanonicalWriter) {
  struct W {
    JsonValue value;
    const char* plain;
    const char* kinds;
  };
  JsonValue::Object obj{{"b", 1}, {"a", JsonValue::Array{-5, JsonDecimal(15, 1, false)}}, {"A", nullptr}};
  const W table[] = {
      {JsonValue(obj), R"({"A":null,"a":[-5,15e1],"b":1})", R"({"A":null,"a":[i:-5,d:15e1],"b":u:1})"},
      {JsonValue::makeSigned(0), "-0", "i:0"},
      {JsonValue::makeUnsigned(999999999999999999u), "999999999999999999", "u:999999999999999999"},
      {JsonValue(JsonDecimal(0, -1, true)), "-0e-1", "d:-0e-1"},
      {"quote\" back\\ slash/ \b\f\n\r\t \x01\x1f", R"("quote\" back\\ slash/ \b\f\n\r\t \u0001\u001f")", nullptr},
  };
  for (const auto& w : table) {
    EXPECT_EQ(toCanonicalJson(w.value), w.plain);
    if (w.kinds) {
      EXPECT_EQ(toCanonicalJson(w.value, true), w.kinds);
    }
    // The canonical text reads back as an equal value (wrapped: the reader wants a container).
    auto back = parseJson("[" + toCanonicalJson(w.value) + "]");
    ASSERT_TRUE(back) << w.plain;
    EXPECT_EQ(back->array()[0], w.value) << w.plain;
  }
}

TEST(JsonConvert, ToPropertyListDropsNullsAndKeepsKinds) {
  const JsonValue record = parsed(
      R"({"id":"1001","name":"私人电台","n":42,"neg":-7,"big":9223372036854775808,"real":0.5,)"
      R"("on":true,"gone":null,"list":[1,null,"x"],"inner":{"k":null}})");
  // 19 digits: a decimal of the reader, a real of the property list. A null element keeps its place
  // (records address array entries by index).
  const PlistValue expected(PlistValue::Dict{{"id", "1001"},
                                             {"name", "私人电台"},
                                             {"n", 42},
                                             {"neg", -7},
                                             {"big", 9223372036854775808.0},
                                             {"real", 0.5},
                                             {"on", true},
                                             {"list", PlistValue::Array{1, "", "x"}},
                                             {"inner", PlistValue::Dict{}}});
  EXPECT_EQ(toPlist(record), expected);
  EXPECT_TRUE(toPlist(JsonValue()).isNone());
}

}  // namespace
}  // namespace tonvera
