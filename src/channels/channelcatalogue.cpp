#include "channels/channelcatalogue.h"

#include "platform/mainqueue.h"
#include "platform/serialqueue.h"
#include "service/endpoints.h"
#include "service/jsoncall.h"
#include "service/plistconvert.h"

namespace tonvera {

ChannelList channelEntries(const std::optional<JsonValue>& reply) {
  ChannelList channels;
  if (!reply || !reply->isObject()) return channels;
  const JsonValue* entries = reply->find("entries");
  if (!entries || !entries->isArray()) return channels;
  for (const JsonValue& entry : entries->array()) {
    if (entry.isObject()) channels.push_back(toPlist(entry));
  }
  return channels;
}

std::string channelId(const PlistValue& record) {
  const PlistValue* id = record.find("id");
  if (!id) return {};
  if (id->isString()) return id->toString();
  if (id->isInteger())
    return id->isBigUnsigned() ? std::to_string(id->toUnsigned()) : std::to_string(id->toInteger());
  return {};
}

std::string channelName(const PlistValue& record) {
  const PlistValue* name = record.find("name");
  return name ? name->toString() : std::string();
}

ChannelCatalogue::ChannelCatalogue() : alive_(std::make_shared<bool>(true)) {}

ChannelCatalogue::~ChannelCatalogue() = default;

void ChannelCatalogue::getChannels(Delivery showRecomm) {
  const std::string url = selectedChannelsURL();
  SerialQueue::runDetached("getNextTrackInfo", [url, alive = std::weak_ptr<bool>(alive_),
                                                showRecomm = std::move(showRecomm)]() mutable {
    ChannelList channels = channelEntries(JsonCall::call(url));
    runOnMain([alive, showRecomm = std::move(showRecomm), channels = std::move(channels)]() mutable {
      if (alive.lock()) showRecomm(std::move(channels));
    });
  });
}

}  // namespace tonvera
