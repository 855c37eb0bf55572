#include "service/jsonvalue.h"

namespace tonvera {

namespace {
const std::string kEmptyString;
const JsonValue::Array kEmptyArray;
const JsonValue::Object kEmptyObject;
const JsonValue kNull;
}  // namespace

std::optional<JsonDecimal> JsonDecimal::fromText(std::string_view) { return std::nullopt; }
JsonDecimal JsonDecimal::fromDouble(double) { return {}; }
std::string JsonDecimal::significand() const { return std::to_string(mantissa_); }
double JsonDecimal::toDouble() const { return 0; }
std::string JsonDecimal::toString() const { return significand() + "e" + std::to_string(exponent_); }
std::string JsonDecimal::toPlainString() const { return toString(); }

const std::string& JsonValue::toString() const {
  const auto* s = std::get_if<std::string>(&v_);
  return s ? *s : kEmptyString;
}
std::string JsonValue::toString(std::string fallback) const {
  const auto* s = std::get_if<std::string>(&v_);
  return s ? *s : fallback;
}
std::int64_t JsonValue::toInteger(std::int64_t fallback) const { return fallback; }
std::uint64_t JsonValue::toUnsigned(std::uint64_t fallback) const { return fallback; }
double JsonValue::toReal(double fallback) const { return fallback; }
bool JsonValue::toBool(bool fallback) const { return fallback; }
std::string JsonValue::toText() const { return {}; }
const JsonValue::Array& JsonValue::array() const {
  const auto* a = std::get_if<Array>(&v_);
  return a ? *a : kEmptyArray;
}
const JsonValue::Object& JsonValue::object() const {
  const auto* o = std::get_if<Object>(&v_);
  return o ? *o : kEmptyObject;
}
const JsonValue* JsonValue::find(std::string_view key) const {
  const auto* o = std::get_if<Object>(&v_);
  if (!o) return nullptr;
  auto it = o->find(key);
  return it == o->end() ? nullptr : &it->second;
}
const JsonValue& JsonValue::operator[](std::string_view key) const {
  const JsonValue* v = find(key);
  return v ? *v : kNull;
}
const JsonValue& JsonValue::operator[](std::size_t index) const {
  const auto& a = array();
  return index < a.size() ? a[index] : kNull;
}

std::optional<JsonValue> SBJsonParser::objectWithData(std::optional<std::string_view>) { return std::nullopt; }
std::optional<JsonValue> SBJsonParser::objectWithString(std::optional<std::string_view> text, JsonError*) {
  return objectWithData(text);
}
std::optional<JsonValue> JSONValue(std::string_view) { return std::nullopt; }
std::optional<JsonValue> parseJson(std::string_view, std::string*) { return std::nullopt; }

}  // namespace tonvera
