#include "taste/tnmanager.h"

#include <algorithm>
#include <cassert>
#include <ctime>

#include "platform/fileutil.h"
#include "platform/folders.h"
#include "platform/log.h"
#include "platform/mainqueue.h"
#include "platform/notificationcenter.h"
#include "platform/plist.h"
#include "records/tnartist.h"
#include "records/tnsong.h"

namespace tonvera {
namespace {

// The root dictionary of a taste file; nothing when missing or not usable.
std::optional<PlistValue::Dict> readRoot(const std::optional<std::string>& path) {
  if (!path) return std::nullopt;
  PlistFileRead read = readPlistFile(*path);
  if (read.status != PlistFileRead::Status::Ok || !read.value.isDict()) return std::nullopt;
  return read.value.dict();
}

template <typename List, typename Make>
List loadList(const char* fileName, Make make) {
  List list;
  auto root = readRoot(TNManager::tasteFilePath(fileName));
  if (!root) return list;
  for (const auto& [key, value] : *root) {
    if (value.isDict()) list.push_back(make(value.dict()));
  }
  return list;
}

// Moves a taste file that exists but cannot be used out of the way, so the write that follows
// does not destroy what it held. False when it could not be moved (then nothing may be written).
bool setAside(const std::string& path, const std::string& reason) {
  auto moved = moveAside(path, ".corrupt-" + std::to_string(std::time(nullptr)));
  if (!moved) {
    log(lcTaste, "taste file %s cannot be read (%s) and cannot be moved aside; left unchanged", path.c_str(),
        reason.c_str());
    return false;
  }
  log(lcTaste, "taste file %s cannot be read (%s); kept as %s", path.c_str(), reason.c_str(), moved->c_str());
  return true;
}

void toggleRecord(const char* fileName, const std::optional<Record>& info) {
  if (!info) return;
  auto id = recordId(*info);
  if (!id) return;
  auto path = TNManager::tasteFilePath(fileName);
  if (!path) return;

  PlistValue::Dict root;
  PlistFileRead read = readPlistFile(*path);
  switch (read.status) {
    case PlistFileRead::Status::Missing:
      break;
    case PlistFileRead::Status::Ok:
      if (read.value.isDict()) {
        root = read.value.dict();
      } else if (!setAside(*path, "root is not a dictionary")) {
        return;
      }
      break;
    case PlistFileRead::Status::Unreadable:
    case PlistFileRead::Status::Corrupt:
      if (!setAside(*path, read.error)) return;
      break;
  }
  if (auto it = root.find(*id); it != root.end()) {
    root.erase(it);
  } else {
    root.emplace(*id, PlistValue(*info));
  }
  writePlistFile(*path, PlistValue(std::move(root)));  // a failed write is not retried
}

// Removes the entries with the same id as `object` (and `object` itself, which matters for an
// entry without an id: it equals nothing else).
template <typename List, typename Object, typename IdOf>
void removeSame(List& list, const std::shared_ptr<Object>& object, IdOf idOf) {
  const std::optional<std::string> id = idOf(*object);
  std::erase_if(list,
                [&](const auto& entry) { return entry == object || (entry && id && idOf(*entry) == id); });
}

}  // namespace

TNManager& TNManager::sharedManager() {
  static TNManager manager;
  return manager;
}

std::optional<std::string> TNManager::tasteFilePath(const char* fileName) {
  auto base = baseDir();
  if (!base) return std::nullopt;
  return *base + "/" + fileName;
}

TNManager::SongList TNManager::genSongsLove(bool love) const {
  return loadList<SongList>(love ? kLoveFileName : kDisLoveFileName,
                            [](const Record& record) { return TNSong::create(record); });
}

TNManager::ArtistList TNManager::genArtistsLove(bool love) const {
  return loadList<ArtistList>(love ? kLoveArtistsFileName : kDisLoveArtistsFileName,
                              [](const Record& record) { return TNArtist::create(record); });
}

TNManager::SongList& TNManager::likeSongs() {
  assert(isMainThread());
  if (!likeSongs_) likeSongs_ = genSongsLove(true);
  return *likeSongs_;
}

TNManager::SongList& TNManager::hateSongs() {
  assert(isMainThread());
  if (!hateSongs_) hateSongs_ = genSongsLove(false);
  return *hateSongs_;
}

TNManager::ArtistList& TNManager::likeArtists() {
  assert(isMainThread());
  if (!likeArtists_) likeArtists_ = genArtistsLove(true);
  return *likeArtists_;
}

TNManager::ArtistList& TNManager::hateArtists() {
  assert(isMainThread());
  if (!hateArtists_) hateArtists_ = genArtistsLove(false);
  return *hateArtists_;
}

namespace {

template <typename List, typename Id>
bool listHolds(const List& list, const std::optional<std::string>& id, Id idOf) {
  if (!id) return false;
  for (const auto& entry : list) {
    if (entry && idOf(*entry) == id) return true;
  }
  return false;
}

}  // namespace

bool TNManager::isLove(const TNSong& song) {
  return listHolds(likeSongs(), song.trackId(), [](const TNSong& s) { return s.trackId(); });
}

bool TNManager::isHate(const TNSong& song) {
  return listHolds(hateSongs(), song.trackId(), [](const TNSong& s) { return s.trackId(); });
}

bool TNManager::isLove(const TNArtist& artist) {
  return listHolds(likeArtists(), artist.artistkId(), [](const TNArtist& a) { return a.artistkId(); });
}

bool TNManager::isHate(const TNArtist& artist) {
  return listHolds(hateArtists(), artist.artistkId(), [](const TNArtist& a) { return a.artistkId(); });
}

void TNManager::likeSong(const std::shared_ptr<TNSong>& song, bool yOrN) {
  if (!song) return;
  SongList& list = likeSongs();
  if (yOrN && !isLove(*song)) {
    list.push_back(song);
  } else {
    removeSame(list, song, [](const TNSong& s) { return s.trackId(); });
  }
  writeInfo(song->songInfo(), true);
  announce("likeSong");
}

void TNManager::hateSong(const std::shared_ptr<TNSong>& song, bool yOrN) {
  if (!song) return;
  SongList& list = hateSongs();
  if (yOrN && !isHate(*song)) {
    list.push_back(song);
  } else {
    removeSame(list, song, [](const TNSong& s) { return s.trackId(); });
  }
  writeInfo(song->songInfo(), false);
  announce("hateSong");
}

void TNManager::likeArtist(const std::shared_ptr<TNArtist>& artist, bool yOrN) {
  if (!artist) return;
  ArtistList& list = likeArtists();
  if (yOrN && !isLove(*artist)) {
    list.push_back(artist);
  } else {
    removeSame(list, artist, [](const TNArtist& a) { return a.artistkId(); });
  }
  writeArtistInfo(artist->info(), true);
  announce("likeArtist");
}

void TNManager::hateArtist(const std::shared_ptr<TNArtist>& artist, bool yOrN) {
  if (!artist) return;
  ArtistList& list = hateArtists();
  if (yOrN && !isHate(*artist)) {
    list.push_back(artist);
  } else {
    removeSame(list, artist, [](const TNArtist& a) { return a.artistkId(); });
  }
  writeArtistInfo(artist->info(), false);
  announce("hateArtist");
}

void TNManager::announce(const char* name) {
  // Every view that shows a taste (the lists, the now-playing heart, the sound menu, the tray)
  // follows these, whichever page made the change.
  NotificationCenter::defaultCenter().post(name, this);
}

void TNManager::writeInfo(const std::optional<Record>& info, bool love) {
  toggleRecord(love ? kLoveFileName : kDisLoveFileName, info);
}

void TNManager::writeArtistInfo(const std::optional<Record>& info, bool love) {
  toggleRecord(love ? kLoveArtistsFileName : kDisLoveArtistsFileName, info);
}

std::vector<std::string> TNManager::allLikeSongAndArtistId() {
  std::vector<std::string> ids;
  for (const auto& song : likeSongs()) {
    if (auto id = song ? song->trackId() : std::nullopt) ids.push_back(*id);
  }
  for (const auto& artist : likeArtists()) {
    if (auto id = artist ? artist->artistkId() : std::nullopt) ids.push_back(*id);
  }
  return ids;
}

}  // namespace tonvera
