#include "records/tnartist.h"

#include "records/picturecache.h"
#include "service/endpoints.h"

namespace tonvera {

std::shared_ptr<TNArtist> TNArtist::create(std::optional<Record> info) {
  return std::make_shared<TNArtist>(Key{}, std::move(info));
}

std::optional<std::string> TNArtist::artistkId() const { return info_ ? recordId(*info_) : std::nullopt; }

std::optional<std::string> TNArtist::name() const {
  return info_ ? stringField(*info_, "name") : std::nullopt;
}

void TNArtist::artistIdWithObject(PictureCallback callback) {
  auto self = shared_from_this();
  auto id = artistkId();
  if (!id) {
    callback(std::nullopt, self);
    return;
  }
  const std::string url = artistImagesURL(*id);
  auto path = pictureCachePath(PictureKind::Artist, *id);
  if (path) {
    if (auto cached = loadCachedPicture(*path)) {
      callback(std::move(cached), self);
      return;
    }
  }
  downloadWithURL(url, std::move(callback), std::move(path));
}

void TNArtist::downloadWithURL(const std::string& url, PictureCallback callback,
                               std::optional<std::string> path) {
  downloadPicture(url, PictureKind::Artist, std::move(path),
                  [callback = std::move(callback), self = shared_from_this()](std::optional<QImage> picture) {
                    callback(std::move(picture), self);
                  });
}

}  // namespace tonvera
