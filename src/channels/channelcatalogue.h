// The channel catalogue: the service's list of selected public channels, fetched once for the
// channel page, and the records it holds.
//
// A channel record is a dictionary with at least "id" (the text used in request paths) and "name"
// (shown on the tile and in titles); other keys travel along unchanged.
//
// Threads: channelEntries() on any thread; ChannelCatalogue on the main thread (its request runs on
// a serial queue of its own and the answer comes back on the main thread).
#pragma once

#include <functional>
#include <memory>
#include <optional>

#include "platform/plist.h"
#include "service/jsonvalue.h"

namespace tonvera {

using ChannelList = PlistValue::Array;

// The records of a catalogue reply: the dictionaries of its "entries" array, in catalogue order.
// Nothing for no reply, a reply that is not an object, or one without an "entries" array; entries
// that are not objects cannot name a channel and are left out.
ChannelList channelEntries(const std::optional<JsonValue>& reply);

// The channel's "id" as request text (a string as it stands, an integer in decimal); empty when
// there is none.
std::string channelId(const PlistValue& record);
// The channel's "name"; empty when there is none.
std::string channelName(const PlistValue& record);

class ChannelCatalogue {
 public:
  using Delivery = std::function<void(ChannelList channels)>;

  ChannelCatalogue();
  // Answers still on their way are dropped.
  ~ChannelCatalogue();
  ChannelCatalogue(const ChannelCatalogue&) = delete;
  ChannelCatalogue& operator=(const ChannelCatalogue&) = delete;

  // Requests "/radios/selected.json" on a new serial queue "getNextTrackInfo" of its own and calls
  // `showRecomm` once on the main thread with the records (empty when the request failed).
  void getChannels(Delivery showRecomm);

 private:
  std::shared_ptr<bool> alive_;  // main thread; answers hold a weak reference
};

}  // namespace tonvera
