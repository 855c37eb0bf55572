// TNArtist: one artist record (a dictionary from the service: "id", "name", and any other keys,
// carried unchanged) and the lookup of the artist's picture.
//
// Artist objects are shared (std::shared_ptr): the taste store's lists, a track's first artist and
// the views hold the same objects; create them with create().
//
// Whether an artist is liked or disliked is the taste store's answer (TNManager::isLove/isHate).
//
// Threads: main thread only. The picture lookup's download runs on its own background queue and
// delivers on the main thread.
#pragma once

#include <QImage>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "records/recordfields.h"

namespace tonvera {

class TNArtist : public std::enable_shared_from_this<TNArtist> {
  struct Key {};

 public:
  // Called with the picture (nothing when there is none) and the artist it belongs to.
  using PictureCallback =
      std::function<void(std::optional<QImage> picture, std::shared_ptr<TNArtist> artist)>;

  static std::shared_ptr<TNArtist> create(std::optional<Record> info = std::nullopt);
  explicit TNArtist(Key, std::optional<Record> info) : info_(std::move(info)) {}
  TNArtist(const TNArtist&) = delete;
  TNArtist& operator=(const TNArtist&) = delete;

  // The record; nothing until one is set.
  const std::optional<Record>& info() const { return info_; }
  void setInfo(std::optional<Record> info) { info_ = std::move(info); }

  // The record's "id" (as text) and "name"; nothing when absent.
  std::optional<std::string> artistkId() const;
  std::optional<std::string> name() const;

  // The artist's picture, squared. A cached picture ("<application folder>/artist/<id>") is delivered
  // at once, on the calling thread, without a request; so is nothing when the record has no id.
  // Otherwise downloadWithURL() fetches it and `callback` runs later on the main thread. Exactly one
  // call of `callback` per lookup.
  void artistIdWithObject(PictureCallback callback);

  // Fetches the picture through the info request `url` ("h" gives the picture file), squares it,
  // writes it TIFF-encoded to `path` when given, and delivers it on the main thread (nothing on any
  // failure). Returns at once.
  void downloadWithURL(const std::string& url, PictureCallback callback, std::optional<std::string> path);

 private:
  std::optional<Record> info_;
};

}  // namespace tonvera
