#include "records/recordfields.h"

namespace tonvera {

std::optional<std::string> idText(const PlistValue* value) {
  if (!value) return std::nullopt;
  if (value->isString()) return value->toString();
  if (value->isInteger()) {
    return value->isBigUnsigned() ? std::to_string(value->toUnsigned()) : std::to_string(value->toInteger());
  }
  return std::nullopt;
}

std::optional<std::string> stringField(const Record& record, const std::string& key) {
  auto it = record.find(key);
  if (it == record.end() || !it->second.isString()) return std::nullopt;
  return it->second.toString();
}

std::optional<std::string> recordId(const Record& record) {
  auto it = record.find("id");
  return it == record.end() ? std::nullopt : idText(&it->second);
}

}  // namespace tonvera
