#include "taste/tnsearcher.h"

#include "platform/mainqueue.h"
#include "platform/serialqueue.h"
#include "service/endpoints.h"
#include "service/jsoncall.h"
#include "service/plistconvert.h"

namespace tonvera {
namespace {

const char* catalogueKind(int type) {
  switch (type) {
    case 0:
      return "tracks";
    case 1:
      return "artists";
    case 2:
      return "albums";
    default:
      return "";
  }
}

// The "entries" to deliver, or nothing.
std::optional<PlistValue::Array> searchEntries(const std::optional<JsonValue>& reply) {
  if (!reply || !reply->isObject()) return std::nullopt;
  if (const JsonValue* code = reply->find("err_code"); code && code->isNumber() && code->toInteger(1) != 0) {
    return std::nullopt;
  }
  const JsonValue* entries = reply->find("entries");
  if (!entries || !entries->isArray() || entries->array().empty()) return std::nullopt;
  PlistValue converted = toPlist(*entries);
  if (converted.array().empty()) return std::nullopt;  // only nulls
  return converted.array();
}

}  // namespace

std::string TNSearcher::genURL(int type, int start, int offset, const std::string& key) {
  // The key is escaped once, as a query value, and the URL is sent as it stands.
  return searchURL(catalogueKind(type), JsonCall::escapeQueryValue(key), start, offset);
}

void TNSearcher::searchWithURL(const std::string& url, EntriesCallback callback) {
  SerialQueue::runDetached("com.tonvera.searcher", [url, callback = std::move(callback)]() mutable {
    auto entries = searchEntries(JsonCall::callEscaped(url)).value_or(PlistValue::Array{});
    if (!callback) return;
    runOnMain([callback = std::move(callback), entries = std::move(entries)]() mutable {
      callback(std::move(entries));
    });
  });
}

}  // namespace tonvera
