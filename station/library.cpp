#include "station/library.h"

#include <algorithm>
#include <map>
#include <set>

#include "station/ids.h"
#include "station/text.h"

namespace tonvera::station {

namespace {

std::vector<std::string> folderNames(const std::string& relPath) {
  std::vector<std::string> names;
  std::size_t start = 0;
  for (auto pos = relPath.find('/'); pos != std::string::npos; pos = relPath.find('/', start)) {
    if (pos > start) names.push_back(relPath.substr(start, pos - start));
    start = pos + 1;
  }
  return names;
}

// "03 - 远山.mp3" -> "远山": the extension and a leading track number are dropped.
std::string titleFromFileName(const std::string& relPath) {
  std::string name = relPath.substr(relPath.rfind('/') == std::string::npos ? 0 : relPath.rfind('/') + 1);
  if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name.erase(dot);
  std::size_t i = 0;
  while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
  if (i > 0 && i < name.size()) {
    std::size_t j = i;
    while (j < name.size() && (name[j] == ' ' || name[j] == '-' || name[j] == '.' || name[j] == '_')) ++j;
    if (j > i && j < name.size()) name.erase(0, j);
  }
  return name;
}

std::string joinPath(const std::string& root, const std::string& rel) {
  if (root.empty() || root.back() == '/') return root + rel;
  return root + "/" + rel;
}

}  // namespace

std::shared_ptr<const Library> Library::build(std::string root, std::vector<ScannedFile> files) {
  auto lib = std::make_shared<Library>(Key{});
  lib->root_ = std::move(root);
  std::sort(files.begin(), files.end(),
            [](const ScannedFile& a, const ScannedFile& b) { return a.relPath < b.relPath; });

  std::unordered_map<std::string, std::size_t> artistByKey;
  std::unordered_map<std::string, std::size_t> albumByKey;
  auto artistFor = [&](const std::string& name) {
    std::string key = foldText(name);
    auto [it, added] = artistByKey.emplace(key, lib->artists_.size());
    if (added) {
      Artist artist;
      artist.id = makeId(kArtistIdPrefix, key);
      artist.name = name;
      artist.folded = key;
      lib->artists_.push_back(std::move(artist));
    }
    return it->second;
  };
  auto addUnique = [](auto& list, const auto& value) {
    if (std::find(list.begin(), list.end(), value) == list.end()) list.push_back(value);
  };

  // Per album, the picture candidates met so far.
  std::vector<std::string> albumFolderCover;
  std::vector<std::pair<std::string, AudioFormat>> albumEmbedded;
  std::unordered_map<std::size_t, std::string> artistPictureFile;

  for (auto& file : files) {
    const auto folders = folderNames(file.relPath);
    Track track;
    track.relPath = file.relPath;
    track.path = joinPath(lib->root_, file.relPath);
    track.format = file.format;
    track.title = file.tags.title.empty() ? toValidUtf8(titleFromFileName(file.relPath)) : file.tags.title;
    track.genre = file.tags.genre;
    track.trackNumber = file.tags.trackNumber;
    track.durationMs = file.tags.durationMs;
    track.audioBegin = file.tags.audioBegin;
    track.audioEnd = file.tags.audioEnd;
    track.folded = foldText(track.title);
    if (!file.lyricsRelPath.empty()) track.lyricsPath = joinPath(lib->root_, file.lyricsRelPath);

    std::vector<std::string> artistNames = file.tags.artists;
    if (artistNames.empty())
      artistNames.push_back(folders.size() >= 2 ? toValidUtf8(folders[folders.size() - 2]) : std::string(kUnknownArtist));
    for (const auto& name : artistNames) addUnique(track.artists, artistFor(name));

    const std::string albumName = !file.tags.album.empty() ? file.tags.album
                                  : !folders.empty()      ? toValidUtf8(folders.back())
                                                          : std::string(kUnknownAlbum);
    const std::string albumArtistName = file.tags.albumArtist.empty() ? artistNames.front() : file.tags.albumArtist;
    const std::size_t albumArtist = artistFor(albumArtistName);
    const std::string albumKey = lib->artists_[albumArtist].folded + "\x1f" + foldText(albumName);
    auto [albumIt, albumAdded] = albumByKey.emplace(albumKey, lib->albums_.size());
    if (albumAdded) {
      Album album;
      album.id = makeId(kAlbumIdPrefix, albumKey);
      album.name = albumName;
      album.folded = foldText(albumName);
      album.artists.push_back(albumArtist);
      lib->albums_.push_back(std::move(album));
      albumFolderCover.emplace_back();
      albumEmbedded.emplace_back();
    }
    track.album = albumIt->second;
    if (albumFolderCover[track.album].empty() && !file.folderCover.empty())
      albumFolderCover[track.album] = joinPath(lib->root_, file.folderCover);
    if (albumEmbedded[track.album].first.empty() && file.tags.embeddedCover)
      albumEmbedded[track.album] = {track.path, track.format};
    // A picture in the album artist's folder shows that artist.
    if (!file.artistPicture.empty() && !artistPictureFile.count(albumArtist))
      artistPictureFile[albumArtist] = joinPath(lib->root_, file.artistPicture);

    // A track id stays what its path makes it; a (practically impossible) clash takes the next key.
    std::string id = makeId(kTrackIdPrefix, file.relPath);
    for (int n = 1; lib->trackIds_.count(id); ++n)
      id = makeId(kTrackIdPrefix, file.relPath + "\x1f" + std::to_string(n));
    track.id = id;
    const std::size_t index = lib->tracks_.size();
    lib->trackIds_.emplace(id, index);
    for (auto a : track.artists) {
      auto& artist = lib->artists_[a];
      artist.tracks.push_back(index);
      addUnique(artist.albums, track.album);
      if (!track.genre.empty()) addUnique(artist.genres, track.genre);
    }
    lib->albums_[track.album].tracks.push_back(index);
    lib->tracks_.push_back(std::move(track));
  }

  for (std::size_t i = 0; i < lib->albums_.size(); ++i) {
    auto& album = lib->albums_[i];
    std::stable_sort(album.tracks.begin(), album.tracks.end(), [&](std::size_t a, std::size_t b) {
      return lib->tracks_[a].trackNumber < lib->tracks_[b].trackNumber;
    });
    if (!albumFolderCover[i].empty()) {
      album.cover = {PictureSource::Kind::File, albumFolderCover[i], AudioFormat::Mp3};
    } else if (!albumEmbedded[i].first.empty()) {
      album.cover = {PictureSource::Kind::Embedded, albumEmbedded[i].first, albumEmbedded[i].second};
    }
  }
  for (std::size_t i = 0; i < lib->artists_.size(); ++i) {
    auto& artist = lib->artists_[i];
    if (auto it = artistPictureFile.find(i); it != artistPictureFile.end()) {
      artist.picture = {PictureSource::Kind::File, it->second, AudioFormat::Mp3};
    } else {
      for (auto album : artist.albums) {
        if (lib->albums_[album].cover.kind != PictureSource::Kind::None) {
          artist.picture = lib->albums_[album].cover;
          break;
        }
      }
    }
    lib->artistIds_.emplace(artist.id, i);
  }
  for (std::size_t i = 0; i < lib->albums_.size(); ++i) lib->albumIds_.emplace(lib->albums_[i].id, i);

  // Channels: every track, then one per genre, the most populated first. Every genre is listed,
  // however many there are: the channel wall scrolls.
  Channel all;
  all.id = kAllChannelId;
  all.name = kAllChannelName;
  for (std::size_t i = 0; i < lib->tracks_.size(); ++i) all.tracks.push_back(i);
  lib->channels_.push_back(std::move(all));
  std::map<std::string, Channel> genres;
  for (std::size_t i = 0; i < lib->tracks_.size(); ++i) {
    const auto& genre = lib->tracks_[i].genre;
    if (genre.empty()) continue;
    const std::string key = foldText(genre);
    auto [it, added] = genres.emplace(key, Channel{});
    if (added) {
      it->second.id = makeId(kGenreChannelPrefix, key);
      it->second.name = genre;
    }
    it->second.tracks.push_back(i);
  }
  std::vector<Channel> byGenre;
  for (auto& [key, channel] : genres) byGenre.push_back(std::move(channel));
  std::stable_sort(byGenre.begin(), byGenre.end(),
                   [](const Channel& a, const Channel& b) { return a.tracks.size() > b.tracks.size(); });
  for (auto& channel : byGenre) lib->channels_.push_back(std::move(channel));
  for (std::size_t i = 0; i < lib->channels_.size(); ++i) lib->channelIds_.emplace(lib->channels_[i].id, i);
  return lib;
}

namespace {
template <typename Map>
std::optional<std::size_t> find(const Map& map, std::string_view id) {
  auto it = map.find(std::string(id));
  if (it == map.end()) return std::nullopt;
  return it->second;
}
}  // namespace

std::optional<std::size_t> Library::trackIndex(std::string_view id) const { return find(trackIds_, id); }
std::optional<std::size_t> Library::artistIndex(std::string_view id) const { return find(artistIds_, id); }
std::optional<std::size_t> Library::albumIndex(std::string_view id) const { return find(albumIds_, id); }
std::optional<std::size_t> Library::channelIndex(std::string_view id) const { return find(channelIds_, id); }

std::vector<std::size_t> Library::similarArtists(std::size_t artist, std::size_t limit) const {
  std::map<std::size_t, int> score;
  const auto& self = artists_.at(artist);
  for (auto album : self.albums) {
    std::set<std::size_t> members;
    for (auto track : albums_[album].tracks)
      for (auto other : tracks_[track].artists) members.insert(other);
    for (auto other : albums_[album].artists) members.insert(other);
    for (auto other : members) score[other] += 2;
  }
  for (const auto& genre : self.genres) {
    for (std::size_t other = 0; other < artists_.size(); ++other) {
      const auto& g = artists_[other].genres;
      if (std::find(g.begin(), g.end(), genre) != g.end()) score[other] += 1;
    }
  }
  score.erase(artist);
  std::vector<std::pair<int, std::size_t>> ranked;
  for (auto [other, points] : score)
    if (points > 0) ranked.emplace_back(points, other);
  std::sort(ranked.begin(), ranked.end(), [&](const auto& a, const auto& b) {
    if (a.first != b.first) return a.first > b.first;
    return artists_[a.second].name < artists_[b.second].name;
  });
  std::vector<std::size_t> result;
  for (const auto& entry : ranked) {
    if (result.size() >= limit) break;
    result.push_back(entry.second);
  }
  return result;
}

}  // namespace tonvera::station
