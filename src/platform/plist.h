#pragma once
// Property-list values (string, integer, real, bool, data, array, dict) and their XML form.
// The XML is written and read by libplist, so files stay readable by any plist tool.
// A value is a plain value type; any thread may use its own copies.

#include <concepts>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tonvera {

class PlistValue {
 public:
  using Array = std::vector<PlistValue>;
  using Dict = std::map<std::string, PlistValue>;  // keys in byte order
  using Data = std::vector<std::uint8_t>;
  enum class Type { None, String, Integer, Real, Bool, Data, Array, Dict };

  PlistValue() = default;  // no value (Type::None); has no XML form of its own
  PlistValue(std::string s) : v_(std::move(s)) {}
  PlistValue(std::string_view s) : v_(std::string(s)) {}
  PlistValue(const char* s) : v_(std::string(s)) {}
  PlistValue(bool b) : v_(b) {}
  template <std::integral T>
    requires(!std::same_as<T, bool>)
  PlistValue(T i) {
    if constexpr (std::is_unsigned_v<T>) {
      if (static_cast<std::uint64_t>(i) > static_cast<std::uint64_t>(INT64_MAX)) {
        v_ = static_cast<std::uint64_t>(i);
        return;
      }
    }
    v_ = static_cast<std::int64_t>(i);
  }
  PlistValue(double d) : v_(d) {}
  PlistValue(Data d) : v_(std::move(d)) {}
  PlistValue(Array a) : v_(std::move(a)) {}
  PlistValue(Dict d) : v_(std::move(d)) {}

  Type type() const;
  bool isNone() const { return type() == Type::None; }
  bool isString() const { return type() == Type::String; }
  bool isInteger() const { return type() == Type::Integer; }
  bool isReal() const { return type() == Type::Real; }
  bool isBool() const { return type() == Type::Bool; }
  bool isData() const { return type() == Type::Data; }
  bool isArray() const { return type() == Type::Array; }
  bool isDict() const { return type() == Type::Dict; }
  // An integer above INT64_MAX (only unsigned sources make one).
  bool isBigUnsigned() const { return std::holds_alternative<std::uint64_t>(v_); }

  // Typed reads; a value of another type gives the fallback. Numbers convert among integer, real and
  // bool the way a defaults store does (non-zero is true).
  std::string toString(std::string fallback = {}) const;
  std::int64_t toInteger(std::int64_t fallback = 0) const;
  std::uint64_t toUnsigned(std::uint64_t fallback = 0) const;
  double toReal(double fallback = 0.0) const;
  bool toBool(bool fallback = false) const;

  // Containers: empty ones for values of other types.
  const Array& array() const;
  const Dict& dict() const;
  const Data& data() const;
  Array* mutableArray() { return std::get_if<Array>(&v_); }
  Dict* mutableDict() { return std::get_if<Dict>(&v_); }

  // Dict member or nullptr (also for non-dicts).
  const PlistValue* find(const std::string& key) const;

  bool operator==(const PlistValue& other) const = default;

  // The XML property-list document of this value (UTF-8). A None value, and None members of arrays
  // and dicts, are left out.
  std::string toXml() const;

  // Parses an XML (or binary) property list. On failure gives nothing and, when `error` is given,
  // a short reason.
  static std::optional<PlistValue> fromBytes(std::string_view bytes, std::string* error = nullptr);

 private:
  std::variant<std::monostate, std::string, std::int64_t, std::uint64_t, double, bool, Data, Array, Dict> v_;
};

// Reads a property-list file.
struct PlistFileRead {
  enum class Status { Ok, Missing, Unreadable, Corrupt };
  Status status = Status::Missing;
  PlistValue value;   // valid when Ok
  std::string error;  // reason when not Ok
};
PlistFileRead readPlistFile(const std::string& path);

// Writes `value` as an XML property list atomically (temporary file in the same folder, flushed,
// then renamed over `path`). Answers false (and logs nothing) on failure; the old file is untouched.
bool writePlistFile(const std::string& path, const PlistValue& value, std::string* error = nullptr);

}  // namespace tonvera
