#pragma once
// The JSON reader's public face: the value tree, the decimal number kind, and the entry points.
//
//   service/jsonvalue.h        this file: JsonValue, JsonDecimal, JSONValue(), SBJsonParser,
//                              SBJsonStreamParserStatus, JsonError
//   service/jsonstreamparser.h the stream parser, its states and the tree builder (layers 2 and 3)
//   service/jsontokeniser.h    the UTF-8 byte cursor and the tokeniser (layer 1)
//   service/plistconvert.h     JSON <-> property-list values and the canonical JSON writer
//
// The reader is strict: the outer-most value must be an array or an object, nesting is limited
// (32 by default) and every failure leaves one fixed error text naming the first problem met.
//
// Threads: values are plain value types; any thread may use its own copies. A parser object is used
// by one thread at a time; JSONValue() may be called from any thread.

#include <compare>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

namespace tonvera {

// A decimal number: sign, significand and power-of-ten exponent, value = (-1)^negative × m × 10^e.
// The narrow form keeps the significand in a 64-bit unsigned mantissa and the exponent in 16 bits,
// as the tokeniser accumulates them. Numbers with 19 or more digits (or an exponent outside 16 bits)
// are converted from the token's text into the wide form, which keeps every digit exactly (exponents
// beyond ±10^9, far outside any double, are clamped there).
class JsonDecimal {
 public:
  JsonDecimal() = default;
  JsonDecimal(std::uint64_t mantissa, std::int16_t exponent, bool negative)
      : mantissa_(mantissa), exponent_(exponent), negative_(negative) {}
  // Exact decimal of a JSON number token (already checked by the tokeniser); nothing when the text is
  // not a JSON number.
  static std::optional<JsonDecimal> fromText(std::string_view token);
  // The shortest decimal that reads back as `d` (finite values; others give 0).
  static JsonDecimal fromDouble(double d);

  bool isWide() const { return wideDigits_ != nullptr; }
  bool isNegative() const { return negative_; }
  // Narrow form: the mantissa. Wide form: 0 (see significand()).
  std::uint64_t mantissa() const { return isWide() ? 0 : mantissa_; }
  // Power of ten (fits 16 bits in the narrow form).
  std::int64_t exponent() const { return exponent_; }
  // The significand's decimal digits ("0" for zero; the narrow form's mantissa printed in decimal).
  std::string significand() const;

  // Nearest double (correctly rounded); huge values give ±infinity, tiny ones ±0.
  double toDouble() const;
  // Canonical text, a valid JSON number: "[-]<significand>e<exponent>", e.g. 1.5e2 -> "15e1".
  std::string toString() const;
  // Plain positional notation without exponent, e.g. 1.5e2 -> "150", 0.25 -> "0.25".
  std::string toPlainString() const;

  // Same sign, same significand digits and same exponent (so 15e1 and 150e0 differ: they are
  // different decimals of equal value). The narrow and the wide form compare by these parts.
  bool operator==(const JsonDecimal& other) const;

 private:
  // Kept as small as a string: the decimal is an alternative of every JsonValue, and values are
  // stored side by side in arrays and objects (see jsonvalue.cpp). The rare wide digits are shared
  // between copies; they never change once made.
  std::uint64_t mantissa_ = 0;
  std::int32_t exponent_ = 0;  // the wide form's exponent is clamped to +-10^9
  bool negative_ = false;
  std::shared_ptr<const std::string> wideDigits_;  // wide form only: significand digits without
                                                   // leading zeros
};

class JsonValue;

// A JSON object: unique keys with their values, kept in one vector sorted by the keys' bytes (the
// reader gives no order meaning). One allocation per object; lookups are binary searches. Used
// through JsonValue::Object.
class JsonObject {
 public:
  using value_type = std::pair<std::string, JsonValue>;
  using const_iterator = std::vector<value_type>::const_iterator;

  JsonObject() = default;
  // As a std::map would: sorted, and of equal keys the first one is kept.
  JsonObject(std::initializer_list<value_type> members);

  // (Defined below JsonValue, which they need whole.)
  std::size_t size() const;
  bool empty() const;
  const_iterator begin() const;
  const_iterator end() const;

  const_iterator find(std::string_view key) const;
  bool contains(std::string_view key) const;
  // Adds `key` unless present (then the object is left as it is); true when added.
  bool emplace(std::string key, JsonValue value);
  // Adds `key`, or replaces the value of the member present.
  void insert_or_assign(std::string key, JsonValue value);

  bool operator==(const JsonObject& other) const;

  // An object of members as they came (moved out of `members`): sorted by key, and of equal keys
  // the later value is kept (as the reader does with a repeated key).
  static JsonObject fromMembers(std::span<value_type> members);

 private:
  std::vector<value_type>::iterator lowerBound(std::string_view key);
  std::vector<value_type> members_;
};

// One JSON value: null, boolean, unsigned 64-bit integer, signed 64-bit integer, decimal, string,
// array or object. Non-negative integers read as Unsigned, negative ones as Signed. Object keys are
// unique and kept in byte order (the reader gives no order meaning).
class JsonValue {
 public:
  enum class Kind { Null, Bool, Unsigned, Signed, Decimal, String, Array, Object };
  using Array = std::vector<JsonValue>;
  using Object = JsonObject;

  JsonValue() = default;  // null
  JsonValue(std::nullptr_t) {}
  JsonValue(bool b) : v_(b) {}
  // Integers: negative values become Signed, the others Unsigned (as the reader makes them).
  template <std::integral T>
  requires(!std::same_as<T, bool>) JsonValue(T i) {
    if constexpr (std::is_signed_v<T>) {
      if (i < 0) {
        v_ = static_cast<std::int64_t>(i);
        return;
      }
    }
    v_ = static_cast<std::uint64_t>(i);
  }
  // Exact kinds, for values that must keep a kind regardless of sign.
  static JsonValue makeUnsigned(std::uint64_t u) { return JsonValue(Tag{}, u); }
  static JsonValue makeSigned(std::int64_t i) { return JsonValue(Tag{}, i); }
  JsonValue(JsonDecimal d) : v_(std::move(d)) {}
  JsonValue(double d) : v_(JsonDecimal::fromDouble(d)) {}
  JsonValue(std::string s) : v_(std::move(s)) {}
  JsonValue(std::string_view s) : v_(std::string(s)) {}
  JsonValue(const char* s) : v_(std::string(s)) {}
  JsonValue(Array a) : v_(std::move(a)) {}
  JsonValue(Object o) : v_(std::move(o)) {}

  Kind kind() const { return static_cast<Kind>(v_.index()); }
  bool isNull() const { return kind() == Kind::Null; }
  bool isBool() const { return kind() == Kind::Bool; }
  bool isUnsigned() const { return kind() == Kind::Unsigned; }
  bool isSigned() const { return kind() == Kind::Signed; }
  bool isDecimal() const { return kind() == Kind::Decimal; }
  bool isInteger() const { return isUnsigned() || isSigned(); }
  bool isNumber() const { return isInteger() || isDecimal(); }
  bool isString() const { return kind() == Kind::String; }
  bool isArray() const { return kind() == Kind::Array; }
  bool isObject() const { return kind() == Kind::Object; }

  // Typed reads; a value of another kind gives the fallback. Numbers convert among the number kinds
  // (decimals truncate toward zero; out-of-range values give the fallback) and booleans read as 1/0.
  const std::string& toString() const;  // empty for non-strings
  std::string toString(std::string fallback) const;
  std::int64_t toInteger(std::int64_t fallback = 0) const;
  std::uint64_t toUnsigned(std::uint64_t fallback = 0) const;
  double toReal(double fallback = 0.0) const;
  bool toBool(bool fallback = false) const;
  const JsonDecimal* decimal() const { return std::get_if<JsonDecimal>(&v_); }

  // The value as text, the way an id is put into a URL: strings unchanged, integers in decimal,
  // decimals in plain notation, booleans "1"/"0"; null, arrays and objects give "".
  std::string toText() const;

  // Containers: empty ones for values of other kinds.
  const Array& array() const;
  const Object& object() const;
  Array* mutableArray() { return std::get_if<Array>(&v_); }
  Object* mutableObject() { return std::get_if<Object>(&v_); }

  // Object member or nullptr (also for non-objects). operator[] gives a shared null instead.
  const JsonValue* find(std::string_view key) const;
  const JsonValue& operator[](std::string_view key) const;
  const JsonValue& operator[](const char* key) const { return (*this)[std::string_view(key)]; }
  // Array element or a shared null (also for negative indexes and non-arrays).
  const JsonValue& operator[](std::size_t index) const;
  template <std::integral T>
  requires(!std::same_as<T, std::size_t>) const JsonValue& operator[](T index) const {
    if constexpr (std::is_signed_v<T>) {
      if (index < 0) return (*this)[static_cast<std::size_t>(-1)];
    }
    return (*this)[static_cast<std::size_t>(index)];
  }

  bool operator==(const JsonValue&) const = default;

 private:
  struct Tag {};
  JsonValue(Tag, std::uint64_t u) : v_(u) {}
  JsonValue(Tag, std::int64_t i) : v_(i) {}
  // Index order matches Kind.
  std::variant<std::monostate, bool, std::uint64_t, std::int64_t, JsonDecimal, std::string, Array, Object> v_;
};

inline std::size_t JsonObject::size() const { return members_.size(); }
inline bool JsonObject::empty() const { return members_.empty(); }
inline JsonObject::const_iterator JsonObject::begin() const { return members_.begin(); }
inline JsonObject::const_iterator JsonObject::end() const { return members_.end(); }
inline bool JsonObject::contains(std::string_view key) const { return find(key) != end(); }

// Status of one SBJsonStreamParser::parse() call.
enum class SBJsonStreamParserStatus {
  Complete = 0,        // a whole outer-most value was read
  WaitingForData = 1,  // the input stopped before the outer-most value closed
  Error = 2,           // see the parser's error()
};

// A failure wrapped as an error object: the reader's own domain, code 0, the error text.
inline constexpr const char* kJsonReaderErrorDomain = "com.tonvera.json.ErrorDomain";
struct JsonError {
  std::string domain;
  int code = 0;
  std::string description;
};

// Parses whole buffers. One thread at a time per object.
class SBJsonParser {
 public:
  static constexpr std::size_t kDefaultMaxDepth = 32;

  std::size_t maxDepth() const { return maxDepth_; }
  void setMaxDepth(std::size_t depth) { maxDepth_ = depth; }
  // The error text of the last failed call ("" after a success).
  const std::string& error() const { return error_; }

  // Parses `data` (UTF-8 bytes). Nothing in, nothing out: std::nullopt gives "Input was 'nil'".
  std::optional<JsonValue> objectWithData(std::optional<std::string_view> data);
  std::optional<JsonValue> objectWithString(std::optional<std::string_view> text) {
    return objectWithData(text);
  }
  // As above; a failure also fills `error` (domain kJsonReaderErrorDomain, code 0, the error text).
  std::optional<JsonValue> objectWithString(std::optional<std::string_view> text, JsonError* error);

 private:
  std::size_t maxDepth_ = kDefaultMaxDepth;
  std::string error_;
};

// Parses `text` (UTF-8) with a fresh parser (depth limit 32). On failure logs
// "-JSONValue failed. Error is: <error text>", gives nothing and, when `error` is given, stores the
// error text there. Any thread.
std::optional<JsonValue> JSONValue(std::string_view text, std::string* error = nullptr);

// As JSONValue() but without the log line; `error` receives the error text on failure.
std::optional<JsonValue> parseJson(std::string_view text, std::string* error = nullptr);

}  // namespace tonvera
