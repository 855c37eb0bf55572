#include "service/jsonvalue.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "platform/log.h"
#include "service/jsonstreamparser.h"

namespace tonvera {

namespace {

const std::string kEmptyString;
const JsonValue::Array kEmptyArray;
const JsonValue::Object kEmptyObject;
const JsonValue kNull;

// Plain notation is used up to this many padding zeros; beyond it the exponent form is kept.
constexpr std::int64_t kMaxPlainZeros = 400;
// Explicit exponents are accumulated up to this size; anything larger is "very large" already.
constexpr std::int64_t kExponentCap = 1'000'000'000;

bool isDigitChar(char c) { return c >= '0' && c <= '9'; }

// Splits a JSON number token into sign, significand digits (leading zeros removed, "0" for zero)
// and exponent. Nothing when the text is not a JSON number.
struct DecimalParts {
  bool negative = false;
  std::string digits;
  std::int64_t exponent = 0;
};

std::optional<DecimalParts> splitNumber(std::string_view t) {
  DecimalParts p;
  std::size_t i = 0;
  if (i < t.size() && t[i] == '-') {
    p.negative = true;
    ++i;
  }
  if (i >= t.size() || !isDigitChar(t[i])) return std::nullopt;
  const std::size_t intStart = i;
  if (t[i] == '0') {
    ++i;
  } else {
    while (i < t.size() && isDigitChar(t[i])) ++i;
  }
  std::string digits(t.substr(intStart, i - intStart));
  std::int64_t fraction = 0;
  if (i < t.size() && t[i] == '.') {
    ++i;
    const std::size_t fracStart = i;
    while (i < t.size() && isDigitChar(t[i])) ++i;
    if (i == fracStart) return std::nullopt;
    digits.append(t.substr(fracStart, i - fracStart));
    fraction = static_cast<std::int64_t>(i - fracStart);
  }
  std::int64_t exponent = 0;
  if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
    ++i;
    bool negativeExponent = false;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) {
      negativeExponent = t[i] == '-';
      ++i;
    }
    const std::size_t expStart = i;
    while (i < t.size() && isDigitChar(t[i])) {
      if (exponent < kExponentCap) exponent = exponent * 10 + (t[i] - '0');
      ++i;
    }
    if (i == expStart) return std::nullopt;
    if (negativeExponent) exponent = -exponent;
  }
  if (i != t.size()) return std::nullopt;
  const std::size_t firstNonZero = digits.find_first_not_of('0');
  p.digits = firstNonZero == std::string::npos ? "0" : digits.substr(firstNonZero);
  p.exponent = std::clamp(exponent - fraction, -kExponentCap, kExponentCap);
  return p;
}

// Exact powers of ten that a double holds.
constexpr double kPow10[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

}  // namespace

// A tree of many small values costs mostly its allocations and the bytes it touches: arrays and
// objects hold their values side by side, so a value is kept at the size of a string and its kind.
static_assert(sizeof(JsonDecimal) <= 32);
static_assert(sizeof(JsonValue) <= 40);

// ---- JsonDecimal ----

std::optional<JsonDecimal> JsonDecimal::fromText(std::string_view token) {
  auto parts = splitNumber(token);
  if (!parts) return std::nullopt;
  JsonDecimal d;
  d.negative_ = parts->negative;
  d.exponent_ = static_cast<std::int32_t>(parts->exponent);  // clamped to +-10^9 by splitNumber
  d.wideDigits_ = std::make_shared<const std::string>(std::move(parts->digits));
  return d;
}

JsonDecimal JsonDecimal::fromDouble(double value) {
  if (!std::isfinite(value)) return {};
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
  if (ec != std::errc()) return {};
  auto parts = splitNumber(std::string_view(buf, static_cast<std::size_t>(end - buf)));
  if (!parts) return {};
  // A double's shortest form has at most 17 digits and a small exponent: always the narrow form.
  std::uint64_t mantissa = 0;
  for (char c : parts->digits) mantissa = mantissa * 10 + static_cast<std::uint64_t>(c - '0');
  return JsonDecimal(mantissa, static_cast<std::int16_t>(parts->exponent), parts->negative);
}

bool JsonDecimal::operator==(const JsonDecimal& other) const {
  if (negative_ != other.negative_ || exponent_ != other.exponent_) return false;
  if (!isWide() && !other.isWide()) return mantissa_ == other.mantissa_;
  return significand() == other.significand();
}

std::string JsonDecimal::significand() const { return isWide() ? *wideDigits_ : std::to_string(mantissa_); }

double JsonDecimal::toDouble() const {
  double magnitude;
  if (!isWide() && mantissa_ <= (1ull << 53) && exponent_ >= -22 && exponent_ <= 22) {
    // Both operands exact: one correctly rounded operation.
    const double m = static_cast<double>(mantissa_);
    magnitude = exponent_ >= 0 ? m * kPow10[exponent_] : m / kPow10[-exponent_];
  } else {
    const std::string digits = significand();
    if (digits == "0") {
      magnitude = 0.0;
    } else if (exponent_ + static_cast<std::int64_t>(digits.size()) > 400) {
      magnitude = std::numeric_limits<double>::infinity();
    } else if (exponent_ + static_cast<std::int64_t>(digits.size()) < -400) {
      magnitude = 0.0;
    } else {
      const std::string text = digits + "e" + std::to_string(exponent_);
      magnitude = 0.0;
      auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), magnitude);
      (void)ptr;
      // Out of range: too large when the value has digits before the decimal point (a long
      // integer with exponent 0 included), else too small.
      if (ec == std::errc::result_out_of_range) {
        magnitude = exponent_ + static_cast<std::int64_t>(digits.size()) > 0 ? std::numeric_limits<double>::infinity()
                                                                              : 0.0;
      }
    }
  }
  return negative_ ? -magnitude : magnitude;
}

std::string JsonDecimal::toString() const {
  std::string s = negative_ ? "-" : "";
  s += significand();
  s += 'e';
  s += std::to_string(exponent_);
  return s;
}

std::string JsonDecimal::toPlainString() const {
  std::string digits = significand();
  if (digits == "0") return "0";
  if (exponent_ > kMaxPlainZeros ||
      exponent_ < -(kMaxPlainZeros + static_cast<std::int64_t>(digits.size()))) {
    return toString();
  }
  std::string s;
  if (exponent_ >= 0) {
    s = digits + std::string(static_cast<std::size_t>(exponent_), '0');
  } else {
    const auto fraction = static_cast<std::size_t>(-exponent_);
    if (digits.size() <= fraction) digits.insert(0, fraction - digits.size() + 1, '0');
    s = digits.substr(0, digits.size() - fraction) + "." + digits.substr(digits.size() - fraction);
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  return negative_ ? "-" + s : s;
}

// ---- JsonObject ----

namespace {

bool keyLess(const JsonObject::value_type& a, const JsonObject::value_type& b) { return a.first < b.first; }

}  // namespace

JsonObject::JsonObject(std::initializer_list<value_type> members) {
  members_.reserve(members.size());
  for (const auto& m : members) emplace(m.first, m.second);
}

std::vector<JsonObject::value_type>::iterator JsonObject::lowerBound(std::string_view key) {
  return std::lower_bound(members_.begin(), members_.end(), key, [](const value_type& m, std::string_view k) {
    return std::string_view(m.first) < k;
  });
}

JsonObject::const_iterator JsonObject::find(std::string_view key) const {
  auto it = const_cast<JsonObject*>(this)->lowerBound(key);
  return it != members_.end() && it->first == key ? const_iterator(it) : end();
}

bool JsonObject::emplace(std::string key, JsonValue value) {
  auto it = lowerBound(key);
  if (it != members_.end() && it->first == key) return false;
  members_.emplace(it, std::move(key), std::move(value));
  return true;
}

void JsonObject::insert_or_assign(std::string key, JsonValue value) {
  auto it = lowerBound(key);
  if (it != members_.end() && it->first == key) {
    it->second = std::move(value);
  } else {
    members_.emplace(it, std::move(key), std::move(value));
  }
}

bool JsonObject::operator==(const JsonObject& other) const { return members_ == other.members_; }

JsonObject JsonObject::fromMembers(std::span<value_type> members) {
  const std::size_t n = members.size();
  JsonObject o;
  o.members_.reserve(n);
  // Moves the members in key order, each once; of a run of equal keys only the last one.
  auto take = [&](auto memberAt) {
    for (std::size_t k = 0; k < n; ++k) {
      if (k + 1 < n && memberAt(k + 1).first == memberAt(k).first) continue;
      o.members_.push_back(std::move(memberAt(k)));
    }
  };
  constexpr std::size_t kSmall = 32;
  if (n <= kSmall) {
    // Small objects (most of them): a stable insertion sort of their indexes, no scratch buffer.
    // Keys mostly differ in their first byte (0 stands for an empty key), compared before the rest.
    std::array<std::uint8_t, kSmall> order;
    std::array<unsigned char, kSmall> first;
    for (std::size_t i = 0; i < n; ++i) {
      const std::string& key = members[i].first;
      first[i] = key.empty() ? 0 : static_cast<unsigned char>(key[0]);
    }
    auto before = [&](std::size_t a, std::size_t b) {
      return first[a] != first[b] ? first[a] < first[b] : members[a].first < members[b].first;
    };
    for (std::size_t i = 0; i < n; ++i) {
      std::size_t j = i;
      while (j > 0 && before(i, order[j - 1])) {
        order[j] = order[j - 1];
        --j;
      }
      order[j] = static_cast<std::uint8_t>(i);
    }
    take([&](std::size_t k) -> value_type& { return members[order[k]]; });
  } else {
    std::stable_sort(members.begin(), members.end(), keyLess);
    take([&](std::size_t k) -> value_type& { return members[k]; });
  }
  return o;
}

// ---- JsonValue ----

const std::string& JsonValue::toString() const {
  const auto* s = std::get_if<std::string>(&v_);
  return s ? *s : kEmptyString;
}

std::string JsonValue::toString(std::string fallback) const {
  const auto* s = std::get_if<std::string>(&v_);
  return s ? *s : fallback;
}

std::int64_t JsonValue::toInteger(std::int64_t fallback) const {
  switch (kind()) {
    case Kind::Bool:
      return std::get<bool>(v_) ? 1 : 0;
    case Kind::Unsigned: {
      const auto u = std::get<std::uint64_t>(v_);
      return u <= static_cast<std::uint64_t>(INT64_MAX) ? static_cast<std::int64_t>(u) : fallback;
    }
    case Kind::Signed:
      return std::get<std::int64_t>(v_);
    case Kind::Decimal: {
      const double d = std::trunc(std::get<JsonDecimal>(v_).toDouble());
      if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return fallback;
      return static_cast<std::int64_t>(d);
    }
    default:
      return fallback;
  }
}

std::uint64_t JsonValue::toUnsigned(std::uint64_t fallback) const {
  switch (kind()) {
    case Kind::Bool:
      return std::get<bool>(v_) ? 1 : 0;
    case Kind::Unsigned:
      return std::get<std::uint64_t>(v_);
    case Kind::Signed: {
      const auto i = std::get<std::int64_t>(v_);
      return i >= 0 ? static_cast<std::uint64_t>(i) : fallback;
    }
    case Kind::Decimal: {
      const double d = std::trunc(std::get<JsonDecimal>(v_).toDouble());
      if (!(d >= 0.0 && d < 18446744073709551616.0)) return fallback;
      return static_cast<std::uint64_t>(d);
    }
    default:
      return fallback;
  }
}

double JsonValue::toReal(double fallback) const {
  switch (kind()) {
    case Kind::Bool:
      return std::get<bool>(v_) ? 1.0 : 0.0;
    case Kind::Unsigned:
      return static_cast<double>(std::get<std::uint64_t>(v_));
    case Kind::Signed:
      return static_cast<double>(std::get<std::int64_t>(v_));
    case Kind::Decimal:
      return std::get<JsonDecimal>(v_).toDouble();
    default:
      return fallback;
  }
}

bool JsonValue::toBool(bool fallback) const {
  switch (kind()) {
    case Kind::Bool:
      return std::get<bool>(v_);
    case Kind::Unsigned:
      return std::get<std::uint64_t>(v_) != 0;
    case Kind::Signed:
      return std::get<std::int64_t>(v_) != 0;
    case Kind::Decimal:
      return std::get<JsonDecimal>(v_).toDouble() != 0.0;
    default:
      return fallback;
  }
}

std::string JsonValue::toText() const {
  switch (kind()) {
    case Kind::String:
      return std::get<std::string>(v_);
    case Kind::Unsigned:
      return std::to_string(std::get<std::uint64_t>(v_));
    case Kind::Signed:
      return std::to_string(std::get<std::int64_t>(v_));
    case Kind::Decimal:
      return std::get<JsonDecimal>(v_).toPlainString();
    case Kind::Bool:
      return std::get<bool>(v_) ? "1" : "0";
    default:
      return {};
  }
}

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

// ---- entry points ----

std::optional<JsonValue> SBJsonParser::objectWithData(std::optional<std::string_view> data) {
  error_.clear();
  if (!data) {
    error_ = "Input was 'nil'";
    return std::nullopt;
  }
  SBJsonStreamParserAdapter adapter;
  adapter.reserveFor(data->size());
  SBJsonStreamParser parser(&adapter);
  parser.setMaxDepth(maxDepth_);
  switch (parser.parse(*data)) {
    case SBJsonStreamParserStatus::Complete:
      return std::move(adapter.value());
    case SBJsonStreamParserStatus::WaitingForData:
      error_ = "Unexpected end of input";
      return std::nullopt;
    case SBJsonStreamParserStatus::Error:
      error_ = parser.error();
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<JsonValue> SBJsonParser::objectWithString(std::optional<std::string_view> text,
                                                        JsonError* error) {
  auto value = objectWithData(text);
  if (!value && error) *error = JsonError{kJsonReaderErrorDomain, 0, error_};
  return value;
}

std::optional<JsonValue> parseJson(std::string_view text, std::string* error) {
  SBJsonParser parser;
  auto value = parser.objectWithString(text);
  if (!value && error) *error = parser.error();
  return value;
}

std::optional<JsonValue> JSONValue(std::string_view text, std::string* error) {
  SBJsonParser parser;
  auto value = parser.objectWithString(text);
  if (!value) {
    log(lcService, "-JSONValue failed. Error is: %s", parser.error().c_str());
    if (error) *error = parser.error();
  }
  return value;
}

}  // namespace tonvera
