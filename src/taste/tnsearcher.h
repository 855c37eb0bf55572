// TNSearcher: the text search of the service's catalogue. No state; class operations only.
//
// Threads: genURL() on any thread; searchWithURL() from the main thread (it returns at once and
// delivers on the main thread).
#pragma once

#include <functional>
#include <string>

#include "platform/plist.h"

namespace tonvera {

class TNSearcher {
 public:
  // Called with the "entries" of a search reply; empty when the search found nothing or failed.
  using EntriesCallback = std::function<void(PlistValue::Array entries)>;

  // The search URL: the service base URL followed by "/<kind>/search.json?q=<key>&start=<start>
  // &offset=<offset>" (type 0 "tracks", 1 "artists", 2 "albums"; any other type gives an empty kind),
  // the key escaped once as a query value (UTF-8 %XX: "Nora Bell" -> "Nora%20Bell", "&" -> "%26").
  // searchWithURL() sends it as it stands, so the service receives the key encoded exactly once.
  static std::string genURL(int type, int start, int offset, const std::string& key);

  // On a new serial queue "com.tonvera.searcher": requests `url` (already escaped) as JSON and calls
  // `callback` once on the main thread: with the "entries" (null members dropped) of a reply that is
  // an object without a nonzero "err_code", and with an empty list for anything else, so the caller
  // can say that nothing was found.
  static void searchWithURL(const std::string& url, EntriesCallback callback);
};

}  // namespace tonvera
