#include "records/tnsong.h"

#include <QFile>
#include <QString>

#include "platform/mainqueue.h"
#include "platform/serialqueue.h"
#include "platform/utf8.h"
#include "records/picturecache.h"
#include "records/tnartist.h"
#include "service/endpoints.h"
#include "service/jsoncall.h"
#include "service/plistconvert.h"

namespace tonvera {
namespace {

// An album id this short names no album.
constexpr qsizetype kMaxNoAlbumIdLength = 4;

const PlistValue* member(const std::optional<Record>& info, const char* key) {
  if (!info) return nullptr;
  auto it = info->find(key);
  return it == info->end() ? nullptr : &it->second;
}

// The bytes as text when they are well-formed UTF-8.
std::optional<std::string> utf8Text(std::optional<std::string> bytes) {
  if (!bytes || !isValidUtf8(*bytes)) return std::nullopt;
  return bytes;
}

}  // namespace

std::shared_ptr<TNSong> TNSong::create(std::optional<Record> info) {
  return std::make_shared<TNSong>(Key{}, std::move(info));
}

std::optional<Record> TNSong::apcall(const std::string& trackId, bool* unreachable) {
  auto reply = JsonCall::call(trackPlayURL(trackId), std::nullopt, unreachable);
  if (!reply || !reply->isObject()) return std::nullopt;
  PlistValue record = toPlist(*reply);
  info_ = record.dict();
  return info_;
}

std::optional<std::string> TNSong::trackId() const { return info_ ? recordId(*info_) : std::nullopt; }

std::optional<std::string> TNSong::nameStr() const {
  return info_ ? stringField(*info_, "name") : std::nullopt;
}

std::string TNSong::Artist() const {
  std::string names;
  const PlistValue* artists = member(info_, "artist");
  if (!artists) return names;
  for (const PlistValue& artist : artists->array()) {
    const PlistValue* name = artist.find("name");
    if (name && name->isString()) names += name->toString() + " ";
  }
  return names;
}

std::shared_ptr<TNArtist> TNSong::firstArtist() {
  if (!artist_) artist_ = TNArtist::create();
  const PlistValue* artists = member(info_, "artist");
  if (artists && !artists->array().empty() && artists->array().front().isDict()) {
    artist_->setInfo(artists->array().front().dict());
  } else {
    artist_->setInfo(std::nullopt);
  }
  return artist_;
}

std::optional<std::string> TNSong::url() const {
  const PlistValue* urls = member(info_, "url");
  if (!urls || urls->array().empty() || !urls->array().front().isString()) return std::nullopt;
  return urls->array().front().toString();
}

std::optional<std::string> TNSong::album() const {
  const PlistValue* album = member(info_, "album");
  return album && album->isDict() ? stringField(album->dict(), "name") : std::nullopt;
}

std::optional<std::string> TNSong::albumId() const {
  const PlistValue* album = member(info_, "album");
  return album && album->isDict() ? recordId(album->dict()) : std::nullopt;
}

TNSong::PictureSource TNSong::albumPicture() const {
  PictureSource source;
  auto id = albumId();
  if (!id || QString::fromStdString(*id).size() <= kMaxNoAlbumIdLength) return source;
  source.path = pictureCachePath(PictureKind::Album, *id);
  source.id = std::move(id);
  return source;
}

TNSong::PictureSource TNSong::artistPicture(int index) const {
  PictureSource source;
  const PlistValue* artists = member(info_, "artist");
  const PlistValue::Array* list = artists && artists->isArray() ? &artists->array() : nullptr;
  if (list && index >= 0 && static_cast<size_t>(index) < list->size() && (*list)[index].isDict()) {
    source.id = recordId((*list)[index].dict());
  }
  if (source.id) source.path = pictureCachePath(PictureKind::Artist, *source.id);
  return source;
}

void TNSong::albumId(PictureCallback callback) { deliverPicture(albumPicture(), false, std::move(callback)); }

void TNSong::artistId(int index, PictureCallback callback) {
  deliverPicture(artistPicture(index), true, std::move(callback));
}

void TNSong::deliverPicture(PictureSource source, bool artist, PictureCallback callback) {
  auto self = shared_from_this();
  if (!source.id) {
    callback(std::nullopt, self);
    return;
  }
  if (source.path) {
    if (auto cached = loadCachedPicture(*source.path)) {
      callback(std::move(cached), self);
      return;
    }
  }
  downloadWithURL(artist ? artistImagesURL(*source.id) : albumImagesURL(*source.id), std::move(callback),
                  std::move(source.path), artist);
}

bool TNSong::picturesAtHand(int artistIndex) const {
  // A file in the cache counts; one that turns out not to decode is fetched again when the
  // pictures are asked for.
  auto atHand = [](const PictureSource& source) {
    return !source.id || (source.path && QFile::exists(QString::fromStdString(*source.path)));
  };
  return atHand(albumPicture()) && atHand(artistPicture(artistIndex));
}

void TNSong::lrc(int which, TextCallback callback) {
  auto self = shared_from_this();
  const PlistValue* sources = member(info_, "lrc");
  const size_t entry = which == 0 ? 0 : 1;
  std::optional<std::string> lyricsURL;
  if (sources && entry < sources->array().size()) {
    const PlistValue::Array& fields = sources->array()[entry].array();
    if (fields.size() > 2 && fields[2].isString()) lyricsURL = fields[2].toString();
  }
  if (!lyricsURL) {
    callback(std::nullopt, self);
    return;
  }
  SerialQueue::runDetached("lrc", [lyricsURL = std::move(*lyricsURL), callback = std::move(callback),
                                   self = std::move(self)]() mutable {
    auto text = utf8Text(JsonCall::down(lyricsURL, std::nullopt, false));
    // The track and the callback move to the main thread, so they are released there.
    runOnMain([callback = std::move(callback), text = std::move(text), self = std::move(self)] {
      callback(text, self);
    });
  });
}

void TNSong::downloadWithURL(const std::string& url, PictureCallback callback,
                             std::optional<std::string> path, bool artistPicture) {
  downloadPicture(url, artistPicture ? PictureKind::Artist : PictureKind::Album, std::move(path),
                  [callback = std::move(callback), self = shared_from_this()](std::optional<QImage> picture) {
                    callback(std::move(picture), self);
                  });
}

}  // namespace tonvera
