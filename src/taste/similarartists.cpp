#include "taste/similarartists.h"

#include "service/endpoints.h"
#include "service/jsoncall.h"
#include "service/plistconvert.h"

namespace tonvera {

std::optional<PlistValue::Array> requestSimilarArtists(const std::string& artistId) {
  // The raw body as UTF-8 JSON: exactly what call() does.
  auto reply = JsonCall::call(artistSimilarURL(artistId));
  if (!reply || !reply->isObject()) return std::nullopt;
  const JsonValue* entries = reply->find("entries");
  if (!entries || !entries->isArray()) return PlistValue::Array{};
  return toPlist(*entries).array();
}

}  // namespace tonvera
