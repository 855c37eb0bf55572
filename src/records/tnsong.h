// TNSong: one track record (the service's dictionary for a track: "id", "name", "artist",
// "album", "url", "lrc", and any other keys, carried unchanged) with the values derived from it and
// the track's three lookups: album picture, artist picture and lyrics.
//
// Track objects are shared (std::shared_ptr): the now-playing controller and the taste store's lists
// hold the same objects; create them with create(). Whether a track is liked or disliked is the taste
// store's answer (TNManager::isLove/isHate): the record knows nothing of the store above it.
//
// Threads: main thread, except apcall(), which the controller runs on its background queue against
// an object no other thread touches until the reply is in. Lookup results come on the main thread,
// except the immediate answers (cache hit, nothing to look up), which come on the calling thread
// before the lookup returns. Every lookup calls its callback exactly once.
#pragma once

#include <QImage>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "records/recordfields.h"

namespace tonvera {

class TNArtist;

class TNSong : public std::enable_shared_from_this<TNSong> {
  struct Key {};

 public:
  // Called with the picture (nothing when there is none) and the track it belongs to.
  using PictureCallback = std::function<void(std::optional<QImage> picture, std::shared_ptr<TNSong> song)>;
  // Called with the lyrics text (nothing when there is none) and the track.
  using TextCallback = std::function<void(std::optional<std::string> text, std::shared_ptr<TNSong> song)>;

  // A track object with no record (or with `info`), not refreshed.
  static std::shared_ptr<TNSong> create(std::optional<Record> info = std::nullopt);
  explicit TNSong(Key, std::optional<Record> info) : info_(std::move(info)) {}
  TNSong(const TNSong&) = delete;
  TNSong& operator=(const TNSong&) = delete;

  // Requests the track record "/tracks/<id>/play.json" on the calling thread (blocks up to the
  // request time-out). A JSON object becomes the record (null members dropped) and is returned;
  // anything else returns nothing and leaves the record as it was. `unreachable` (when given) is
  // set as JsonCall::down() sets it: whether nothing came because the service could not answer.
  std::optional<Record> apcall(const std::string& trackId, bool* unreachable = nullptr);

  const std::optional<Record>& songInfo() const { return info_; }
  void setInfo(std::optional<Record> info) { info_ = std::move(info); }

  // "id" as text; "name".
  std::optional<std::string> trackId() const;
  std::optional<std::string> nameStr() const;
  // The names of the "artist" elements that have one, each followed by one space ("A B "); the
  // empty text when there are none.
  std::string Artist() const;
  // The track's artist object (created on first use, then the same object every time), pointed at
  // the first element of "artist" (no record when there is none).
  std::shared_ptr<TNArtist> firstArtist();
  // The first element of "url" when "url" is an array whose first element is a text.
  std::optional<std::string> url() const;
  // "album"'s "name" and "id" when "album" is a dictionary.
  std::optional<std::string> album() const;
  std::optional<std::string> albumId() const;

  // Set once the controller has asked for the track's lyrics and pictures.
  bool refreshed() const { return refreshed_; }
  void setRefreshed(bool refreshed) { refreshed_ = refreshed; }

  // The album picture. An album id of 4 UTF-16 units or fewer (or none) counts as no album: nothing,
  // at once, no request. A cached picture ("<application folder>/album/<album id>", decodable) comes
  // at once; otherwise it is downloaded (downloadWithURL) and cached as the bytes downloaded.
  void albumId(PictureCallback callback);
  // The picture of the artist at `index` of "artist", squared; cached as TIFF under
  // "<application folder>/artist/<artist id>". Nothing at once when there is no such artist or id.
  void artistId(int index, PictureCallback callback);
  // Whether albumId and artistId(index) would both deliver at once, without a request: each
  // picture is in the cache or the track has none.
  bool picturesAtHand(int artistIndex) const;
  // The lyrics: the text at the URL in the third element of the first (which == 0) or second (any
  // other value) "lrc" entry, fetched on a new serial queue "lrc" and decoded as UTF-8 (nothing when
  // no bytes came or they are not UTF-8). No such entry: nothing at once. Not cached.
  void lrc(int which, TextCallback callback);
  // Fetches one picture through the info request `url` ("h" gives the picture file), caches it at
  // `path` when given (squared and TIFF-encoded for an artist picture, else the bytes unchanged) and
  // delivers it on the main thread; nothing on failure. Returns at once.
  void downloadWithURL(const std::string& url, PictureCallback callback, std::optional<std::string> path,
                       bool artistPicture = false);

 private:
  // The record id of the album's or an artist's picture (none: the track has no such picture) and
  // its cache file (none without an application folder).
  struct PictureSource {
    std::optional<std::string> id;
    std::optional<std::string> path;
  };
  PictureSource albumPicture() const;
  PictureSource artistPicture(int index) const;
  // Nothing at once without an id, the cached picture at once, or else the download.
  void deliverPicture(PictureSource source, bool artist, PictureCallback callback);

  std::optional<Record> info_;
  bool refreshed_ = false;
  std::shared_ptr<TNArtist> artist_;  // created by firstArtist()
};

}  // namespace tonvera
