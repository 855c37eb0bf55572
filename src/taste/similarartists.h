// The similar-artists request: the artists the service finds similar to one artist.
//
// Threads: any thread except the main one; it blocks for up to the request time-out. The caller runs
// it on its own serial background queue and hands the result to the main thread.
#pragma once

#include <optional>
#include <string>

#include "platform/plist.h"

namespace tonvera {

// Requests "/artists/<id>/similar" (raw body, decoded as UTF-8 JSON) and answers its "entries"
// (artist records, null members dropped; empty when the reply has no "entries" array). Nothing when
// the request fails or the reply is not a JSON object.
std::optional<PlistValue::Array> requestSimilarArtists(const std::string& artistId);

}  // namespace tonvera
