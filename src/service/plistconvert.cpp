#include "service/plistconvert.h"

#include <array>
#include <charconv>

namespace tonvera {

namespace {

std::string base64(const PlistValue::Data& data) {
  static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < data.size(); i += 3) {
    const std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8) | data[i + 2];
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += kAlphabet[v & 63];
  }
  if (i + 1 == data.size()) {
    const std::uint32_t v = data[i] << 16;
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += "==";
  } else if (i + 2 == data.size()) {
    const std::uint32_t v = (data[i] << 16) | (data[i + 1] << 8);
    out += kAlphabet[(v >> 18) & 63];
    out += kAlphabet[(v >> 12) & 63];
    out += kAlphabet[(v >> 6) & 63];
    out += '=';
  }
  return out;
}

void appendUnsigned(std::string& out, std::uint64_t u) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, u);
  (void)ec;
  out.append(buf, end);
}

void appendSigned(std::string& out, std::int64_t i) {
  char buf[24];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, i);
  (void)ec;
  out.append(buf, end);
}

void write(std::string& out, const JsonValue& v, bool withKinds) {
  switch (v.kind()) {
    case JsonValue::Kind::Null:
      out += "null";
      break;
    case JsonValue::Kind::Bool:
      out += v.toBool() ? "true" : "false";
      break;
    case JsonValue::Kind::Unsigned:
      if (withKinds) out += "u:";
      appendUnsigned(out, v.toUnsigned());
      break;
    case JsonValue::Kind::Signed:
      // The signed negation of zero is the signed integer 0: with the kind shown it has no sign.
      // Without the kind, "-0" keeps the signed kind through a round trip (the reader makes a
      // signed integer of a minus sign and digits, an unsigned one of digits alone).
      if (withKinds) {
        out += "i:";
      } else if (v.toInteger() == 0) {
        out += '-';
      }
      appendSigned(out, v.toInteger());
      break;
    case JsonValue::Kind::Decimal:
      if (withKinds) out += "d:";
      out += v.decimal()->toString();
      break;
    case JsonValue::Kind::String:
      appendJsonString(out, v.toString());
      break;
    case JsonValue::Kind::Array: {
      out += '[';
      bool first = true;
      for (const auto& item : v.array()) {
        if (!first) out += ',';
        first = false;
        write(out, item, withKinds);
      }
      out += ']';
      break;
    }
    case JsonValue::Kind::Object: {
      out += '{';
      bool first = true;
      for (const auto& [key, item] : v.object()) {  // byte order
        if (!first) out += ',';
        first = false;
        appendJsonString(out, key);
        out += ':';
        write(out, item, withKinds);
      }
      out += '}';
      break;
    }
  }
}

}  // namespace

PlistValue toPlist(const JsonValue& value) {
  switch (value.kind()) {
    case JsonValue::Kind::Null:
      return {};
    case JsonValue::Kind::Bool:
      return PlistValue(value.toBool());
    case JsonValue::Kind::Unsigned:
      return PlistValue(value.toUnsigned());
    case JsonValue::Kind::Signed:
      return PlistValue(value.toInteger());
    case JsonValue::Kind::Decimal:
      return PlistValue(value.toReal());
    case JsonValue::Kind::String:
      return PlistValue(value.toString());
    case JsonValue::Kind::Array: {
      PlistValue::Array out;
      out.reserve(value.array().size());
      for (const auto& item : value.array()) {
        out.push_back(item.isNull() ? PlistValue(std::string()) : toPlist(item));
      }
      return PlistValue(std::move(out));
    }
    case JsonValue::Kind::Object: {
      PlistValue::Dict out;
      for (const auto& [key, item] : value.object()) {
        if (!item.isNull()) out.emplace(key, toPlist(item));
      }
      return PlistValue(std::move(out));
    }
  }
  return {};
}

JsonValue fromPlist(const PlistValue& value) {
  switch (value.type()) {
    case PlistValue::Type::None:
      return {};
    case PlistValue::Type::String:
      return JsonValue(value.toString());
    case PlistValue::Type::Integer:
      if (value.isBigUnsigned()) return JsonValue::makeUnsigned(value.toUnsigned());
      return JsonValue(value.toInteger());
    case PlistValue::Type::Real:
      return JsonValue(value.toReal());
    case PlistValue::Type::Bool:
      return JsonValue(value.toBool());
    case PlistValue::Type::Data:
      return JsonValue(base64(value.data()));
    case PlistValue::Type::Array: {
      JsonValue::Array out;
      out.reserve(value.array().size());
      for (const auto& item : value.array()) out.push_back(fromPlist(item));
      return JsonValue(std::move(out));
    }
    case PlistValue::Type::Dict: {
      JsonValue::Object out;
      for (const auto& [key, item] : value.dict()) out.emplace(key, fromPlist(item));
      return JsonValue(std::move(out));
    }
  }
  return {};
}

void appendJsonString(std::string& out, std::string_view s) {
  static constexpr char kHex[] = "0123456789abcdef";
  out += '"';
  std::size_t plain = 0;  // start of the pending run of bytes that need no escape
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= 0x20 && c != '"' && c != '\\') continue;
    out.append(s.substr(plain, i - plain));
    plain = i + 1;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        out += "\\u00";
        out += kHex[c >> 4];
        out += kHex[c & 15];
        break;
    }
  }
  out.append(s.substr(plain));
  out += '"';
}

std::string toCanonicalJson(const JsonValue& value, bool withKinds) {
  std::string out;
  write(out, value, withKinds);
  return out;
}

std::string toCanonicalJson(const PlistValue& value) { return toCanonicalJson(fromPlist(value)); }

}  // namespace tonvera
