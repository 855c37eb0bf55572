#include "channels/channelpictures.h"

#include "platform/mainqueue.h"
#include "platform/serialqueue.h"
#include "service/endpoints.h"
#include "service/jsoncall.h"

namespace tonvera {

ChannelPictures::ChannelPictures() : alive_(std::make_shared<bool>(true)) {}

ChannelPictures::~ChannelPictures() = default;

std::optional<QImage> ChannelPictures::pictureFor(const std::string& channelId) const {
  auto it = channelsImageInfo_.find(channelId);
  if (it == channelsImageInfo_.end()) return std::nullopt;
  return it->second;
}

std::optional<QImage> ChannelPictures::fetchChannelPicture(const std::string& channelId) {
  auto info = JsonCall::call(channelImagesURL(channelId));
  if (!info || !info->isObject()) return std::nullopt;
  const JsonValue* l = info->find("l");
  if (!l || !l->isString() || l->toString().empty()) return std::nullopt;
  auto bytes = JsonCall::down(l->toString(), std::nullopt, false);
  if (!bytes || bytes->empty()) return std::nullopt;
  QImage picture;
  if (!picture.loadFromData(reinterpret_cast<const uchar*>(bytes->data()), static_cast<int>(bytes->size())) ||
      picture.isNull()) {
    return std::nullopt;
  }
  return picture;
}

void ChannelPictures::downloadImageForIndex(int index, const std::string& channelId, Delivery deliver) {
  SerialQueue::runDetached("albumId", [this, index, channelId, alive = std::weak_ptr<bool>(alive_),
                                       deliver = std::move(deliver)]() mutable {
    auto picture = fetchChannelPicture(channelId);
    runOnMain([this, index, channelId, alive, deliver = std::move(deliver),
               picture = std::move(picture)]() mutable {
      if (!alive.lock()) return;
      if (picture) channelsImageInfo_[channelId] = *picture;
      deliver(index, std::move(picture));
    });
  });
}

}  // namespace tonvera
