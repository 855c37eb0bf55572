// The channels' own pictures for the channel wall: each fetched once on a serial queue "albumId" of
// its own (so all fetches run in parallel) and kept for the run in channelsImageInfo, keyed by
// channel id.
//
// A fetch asks "/radios/<id>/images.json", takes the picture file's URL from the reply's "l",
// downloads those bytes and decodes them. Any failed step gives no picture.
//
// Threads: main thread only; answers come back on the main thread. Answers still on their way when
// the object is destroyed are dropped.
#pragma once

#include <QImage>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

namespace tonvera {

class ChannelPictures {
 public:
  // Called with the tile index and the picture, or nothing when the fetch failed.
  using Delivery = std::function<void(int index, std::optional<QImage> picture)>;

  ChannelPictures();
  ~ChannelPictures();
  ChannelPictures(const ChannelPictures&) = delete;
  ChannelPictures& operator=(const ChannelPictures&) = delete;

  // The pictures fetched so far, by channel id.
  const std::map<std::string, QImage>& channelsImageInfo() const { return channelsImageInfo_; }
  // The stored picture of a channel, if any.
  std::optional<QImage> pictureFor(const std::string& channelId) const;

  // Fetches the picture of channel `channelId` for tile `index`; a picture that comes is stored
  // before `deliver` is called.
  void downloadImageForIndex(int index, const std::string& channelId, Delivery deliver);

  // The fetch itself (blocking; for the worker queue).
  static std::optional<QImage> fetchChannelPicture(const std::string& channelId);

 private:
  std::map<std::string, QImage> channelsImageInfo_;
  std::shared_ptr<bool> alive_;
};

}  // namespace tonvera
