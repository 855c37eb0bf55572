#include "platform/plist.h"

#include <plist/plist.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <memory>

#include "platform/fileutil.h"

namespace tonvera {
namespace {

struct PlistDeleter {
  void operator()(plist_t p) const { plist_free(p); }
};
using PlistPtr = std::unique_ptr<void, PlistDeleter>;

const PlistValue::Array kEmptyArray;
const PlistValue::Dict kEmptyDict;
const PlistValue::Data kEmptyData;

// Builds the libplist node of a value; nullptr for None.
plist_t toNode(const PlistValue& v) {
  switch (v.type()) {
    case PlistValue::Type::None:
      return nullptr;
    case PlistValue::Type::String:
      return plist_new_string(v.toString().c_str());
    case PlistValue::Type::Integer:
      return plist_new_uint(v.isBigUnsigned() ? v.toUnsigned() : static_cast<uint64_t>(v.toInteger()));
    case PlistValue::Type::Real:
      return plist_new_real(v.toReal());
    case PlistValue::Type::Bool:
      return plist_new_bool(v.toBool() ? 1 : 0);
    case PlistValue::Type::Data: {
      const auto& d = v.data();
      return plist_new_data(reinterpret_cast<const char*>(d.data()), d.size());
    }
    case PlistValue::Type::Array: {
      plist_t node = plist_new_array();
      for (const auto& item : v.array()) {
        if (plist_t child = toNode(item)) plist_array_append_item(node, child);
      }
      return node;
    }
    case PlistValue::Type::Dict: {
      plist_t node = plist_new_dict();
      for (const auto& [key, item] : v.dict()) {
        if (plist_t child = toNode(item)) plist_dict_set_item(node, key.c_str(), child);
      }
      return node;
    }
  }
  return nullptr;
}

// Depth limit for documents we read: deeper nesting is refused rather than recursed into.
constexpr int kMaxReadDepth = 256;

// Whether a binary property list holds a string object (ASCII or UTF-16) with a NUL character.
// libplist stops the program when asked for a dictionary key like that, so such a list is refused
// as damaged before it is parsed. Objects are found through the offset table; anything out of
// bounds is left to libplist, which refuses it.
bool binaryListHoldsNulString(std::string_view bytes) {
  constexpr std::size_t kTrailer = 32;
  if (bytes.size() < 8 + kTrailer || bytes.substr(0, 8) != "bplist00") return false;
  const auto* u = reinterpret_cast<const unsigned char*>(bytes.data());
  const std::size_t n = bytes.size();
  auto bigEndian = [u](std::size_t at, std::size_t width) {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < width; ++i) v = v << 8 | u[at + i];
    return v;
  };
  const std::size_t trailer = n - kTrailer;
  const std::size_t offsetSize = u[trailer + 6];
  const std::uint64_t objects = bigEndian(trailer + 8, 8);
  const std::uint64_t table = bigEndian(trailer + 24, 8);
  if (offsetSize < 1 || offsetSize > 8 || table >= trailer || objects > (trailer - table) / offsetSize) {
    return false;
  }
  for (std::uint64_t i = 0; i < objects; ++i) {
    const std::uint64_t at = bigEndian(table + i * offsetSize, offsetSize);
    if (at >= n) continue;
    const unsigned type = u[at] >> 4;
    if (type != 0x5 && type != 0x6) continue;  // 5: ASCII string, 6: UTF-16 string
    std::uint64_t length = u[at] & 0xF;
    std::uint64_t start = at + 1;
    if (length == 0xF) {  // the length follows as an integer object
      if (start >= n || (u[start] >> 4) != 0x1 || (u[start] & 0xF) > 3) continue;
      const std::size_t width = std::size_t(1) << (u[start] & 0xF);
      if (start + 1 + width > n) continue;
      length = bigEndian(start + 1, width);
      start += 1 + width;
    }
    const std::uint64_t unit = type == 0x6 ? 2 : 1;
    length = std::min<std::uint64_t>(length, (n - start) / unit);
    for (std::uint64_t k = 0; k < length; ++k) {
      if (u[start + k * unit] == 0 && (unit == 1 || u[start + k * unit + 1] == 0)) return true;
    }
  }
  return false;
}

std::optional<PlistValue> fromNode(plist_t node, int depth) {
  if (!node || depth > kMaxReadDepth) return std::nullopt;
  switch (plist_get_node_type(node)) {
    case PLIST_STRING: {
      uint64_t length = 0;
      const char* s = plist_get_string_ptr(node, &length);
      return PlistValue(std::string(s ? s : "", s ? length : 0));
    }
    case PLIST_KEY: {
      char* s = nullptr;
      plist_get_key_val(node, &s);
      std::string out = s ? s : "";
      std::free(s);
      return PlistValue(std::move(out));
    }
    case PLIST_UINT: {
      uint64_t u = 0;
      plist_get_uint_val(node, &u);
      return PlistValue(static_cast<int64_t>(u));
    }
    case PLIST_REAL: {
      double d = 0;
      plist_get_real_val(node, &d);
      return PlistValue(d);
    }
    case PLIST_BOOLEAN: {
      uint8_t b = 0;
      plist_get_bool_val(node, &b);
      return PlistValue(b != 0);
    }
    case PLIST_DATA: {
      char* bytes = nullptr;
      uint64_t len = 0;
      plist_get_data_val(node, &bytes, &len);
      PlistValue::Data data(reinterpret_cast<uint8_t*>(bytes), reinterpret_cast<uint8_t*>(bytes) + (bytes ? len : 0));
      std::free(bytes);
      return PlistValue(std::move(data));
    }
    case PLIST_DATE: {
      int32_t sec = 0, usec = 0;
      plist_get_date_val(node, &sec, &usec);
      return PlistValue(static_cast<double>(sec) + usec / 1e6);
    }
    case PLIST_ARRAY: {
      PlistValue::Array arr;
      const uint32_t n = plist_array_get_size(node);
      arr.reserve(n);
      for (uint32_t i = 0; i < n; ++i) {
        auto item = fromNode(plist_array_get_item(node, i), depth + 1);
        if (!item) return std::nullopt;
        arr.push_back(std::move(*item));
      }
      return PlistValue(std::move(arr));
    }
    case PLIST_DICT: {
      PlistValue::Dict dict;
      plist_dict_iter it = nullptr;
      plist_dict_new_iter(node, &it);
      for (;;) {
        char* key = nullptr;
        plist_t child = nullptr;
        plist_dict_next_item(node, it, &key, &child);
        if (!child) {
          std::free(key);
          break;
        }
        auto item = fromNode(child, depth + 1);
        std::string k = key ? key : "";
        std::free(key);
        if (!item) {
          std::free(it);
          return std::nullopt;
        }
        dict[std::move(k)] = std::move(*item);
      }
      std::free(it);
      return PlistValue(std::move(dict));
    }
    default:
      return std::nullopt;
  }
}

}  // namespace

PlistValue::Type PlistValue::type() const {
  switch (v_.index()) {
    case 0: return Type::None;
    case 1: return Type::String;
    case 2:
    case 3: return Type::Integer;
    case 4: return Type::Real;
    case 5: return Type::Bool;
    case 6: return Type::Data;
    case 7: return Type::Array;
    default: return Type::Dict;
  }
}

std::string PlistValue::toString(std::string fallback) const {
  if (auto s = std::get_if<std::string>(&v_)) return *s;
  return fallback;
}

std::int64_t PlistValue::toInteger(std::int64_t fallback) const {
  if (auto i = std::get_if<std::int64_t>(&v_)) return *i;
  if (auto u = std::get_if<std::uint64_t>(&v_)) return static_cast<std::int64_t>(*u);
  if (auto d = std::get_if<double>(&v_)) {
    if (std::isnan(*d)) return fallback;
    if (*d >= 9.2e18) return INT64_MAX;
    if (*d <= -9.2e18) return INT64_MIN;
    return static_cast<std::int64_t>(*d);
  }
  if (auto b = std::get_if<bool>(&v_)) return *b ? 1 : 0;
  return fallback;
}

std::uint64_t PlistValue::toUnsigned(std::uint64_t fallback) const {
  if (auto u = std::get_if<std::uint64_t>(&v_)) return *u;
  if (type() == Type::Integer || isReal() || isBool()) return static_cast<std::uint64_t>(toInteger());
  return fallback;
}

double PlistValue::toReal(double fallback) const {
  if (auto d = std::get_if<double>(&v_)) return *d;
  if (auto i = std::get_if<std::int64_t>(&v_)) return static_cast<double>(*i);
  if (auto u = std::get_if<std::uint64_t>(&v_)) return static_cast<double>(*u);
  if (auto b = std::get_if<bool>(&v_)) return *b ? 1.0 : 0.0;
  return fallback;
}

bool PlistValue::toBool(bool fallback) const {
  if (auto b = std::get_if<bool>(&v_)) return *b;
  if (type() == Type::Integer) return toUnsigned() != 0;
  if (auto d = std::get_if<double>(&v_)) return *d != 0.0;
  return fallback;
}

const PlistValue::Array& PlistValue::array() const {
  if (auto a = std::get_if<Array>(&v_)) return *a;
  return kEmptyArray;
}

const PlistValue::Dict& PlistValue::dict() const {
  if (auto d = std::get_if<Dict>(&v_)) return *d;
  return kEmptyDict;
}

const PlistValue::Data& PlistValue::data() const {
  if (auto d = std::get_if<Data>(&v_)) return *d;
  return kEmptyData;
}

const PlistValue* PlistValue::find(const std::string& key) const {
  auto d = std::get_if<Dict>(&v_);
  if (!d) return nullptr;
  auto it = d->find(key);
  return it == d->end() ? nullptr : &it->second;
}

std::string PlistValue::toXml() const {
  PlistPtr node(toNode(*this));
  if (!node) node.reset(plist_new_dict());
  char* xml = nullptr;
  uint32_t len = 0;
  plist_to_xml(node.get(), &xml, &len);
  std::string out(xml ? xml : "", xml ? len : 0);
  std::free(xml);
  return out;
}

std::optional<PlistValue> PlistValue::fromBytes(std::string_view bytes, std::string* error) {
  if (bytes.empty() || bytes.size() > UINT32_MAX) {
    if (error) *error = bytes.empty() ? "empty property list" : "property list too large";
    return std::nullopt;
  }
  if (binaryListHoldsNulString(bytes)) {
    if (error) *error = "string holding a NUL character";
    return std::nullopt;
  }
  plist_t raw = nullptr;
  plist_from_memory(bytes.data(), static_cast<uint32_t>(bytes.size()), &raw);
  PlistPtr node(raw);
  if (!node) {
    if (error) *error = "not a property list";
    return std::nullopt;
  }
  auto value = fromNode(node.get(), 0);
  if (!value && error) *error = "unsupported or too deeply nested property list";
  return value;
}

PlistFileRead readPlistFile(const std::string& path) {
  PlistFileRead result;
  errno = 0;
  auto bytes = readFile(path);
  if (!bytes) {
    const bool missing = (errno == ENOENT);
    result.status = missing ? PlistFileRead::Status::Missing : PlistFileRead::Status::Unreadable;
    result.error = missing ? "no such file" : std::strerror(errno);
    return result;
  }
  std::string error;
  auto value = PlistValue::fromBytes(*bytes, &error);
  if (!value) {
    result.status = PlistFileRead::Status::Corrupt;
    result.error = error;
    return result;
  }
  result.status = PlistFileRead::Status::Ok;
  result.value = std::move(*value);
  return result;
}

bool writePlistFile(const std::string& path, const PlistValue& value, std::string* error) {
  return writeFileAtomically(path, value.toXml(), error);
}

}  // namespace tonvera
