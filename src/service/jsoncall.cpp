#include "service/jsoncall.h"

namespace tonvera {

std::optional<std::string> JsonCall::down(const std::string&, const std::optional<std::string>&, bool) {
  return std::nullopt;
}

std::optional<JsonValue> JsonCall::call(const std::string& url, const std::optional<std::string>& body) {
  auto bytes = down(url, body, false);
  if (!bytes) return std::nullopt;
  return JSONValue(*bytes);
}

std::string JsonCall::percentEscape(std::string_view url) { return std::string(url); }

}  // namespace tonvera
