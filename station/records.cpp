#include "station/records.h"

#include <cctype>

#include "station/purecache.h"

namespace tonvera::station {

std::string streamPath(const Track& track) { return "/streams/" + track.id + "." + extensionOf(track.format); }
std::string lyricsPath(const Track& track) { return "/lyrics/" + track.id + ".lrc"; }
std::string albumPicturePath(const Album& album) { return "/pictures/albums/" + album.id; }
std::string artistPicturePath(const Artist& artist) { return "/pictures/artists/" + artist.id; }
std::string channelPicturePath(const Channel& channel) { return "/pictures/channels/" + channel.id; }

Json Records::artistRef(std::size_t index) const {
  const auto& artist = lib_.artists()[index];
  return Json{{"id", artist.id}, {"name", artist.name}};
}

Json Records::track(std::size_t index) const {
  const auto& t = lib_.tracks()[index];
  const auto& album = lib_.albums()[t.album];
  Json artists = Json::array();
  for (auto a : t.artists) artists.push_back(artistRef(a));
  Json record{{"id", t.id},
              {"name", t.title},
              {"artist", std::move(artists)},
              {"album", {{"id", album.id}, {"name", album.name}}},
              {"url", Json::array({url(streamPath(t))})}};
  if (offerPure_ && t.format != AudioFormat::Pure)
    record["url"].insert(record["url"].begin(), url(pureStreamPath(t)));
  if (!t.lyricsPath.empty()) record["lrc"] = Json::array({Json::array({t.id, "lrc", url(lyricsPath(t))})});
  record["duration"] = static_cast<double>(t.durationMs) / 1000.0;
  if (!t.genre.empty()) record["genre"] = t.genre;
  record["format"] = extensionOf(t.format);
  return record;
}

Json Records::artist(std::size_t index) const {
  const auto& a = lib_.artists()[index];
  return Json{{"id", a.id},
              {"name", a.name},
              {"genres", a.genres},
              {"track_count", a.tracks.size()},
              {"album_count", a.albums.size()}};
}

Json Records::album(std::size_t index) const {
  const auto& album = lib_.albums()[index];
  Json artists = Json::array();
  for (auto a : album.artists) artists.push_back(artistRef(a));
  return Json{{"id", album.id}, {"name", album.name}, {"artist", std::move(artists)}, {"track_count", album.tracks.size()}};
}

Json Records::channel(std::size_t index) const {
  const auto& c = lib_.channels()[index];
  return Json{{"id", c.id}, {"name", c.name}, {"track_count", c.tracks.size()}};
}

std::string toText(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

}  // namespace tonvera::station

namespace tonvera::station {

std::string baseUrlFor(std::string_view host, std::string_view fallback) {
  auto valid = [](std::string_view h) {
    if (h.empty() || h.size() > 255) return false;
    std::string_view name = h;
    std::string_view port;
    if (h.front() == '[') {
      const auto close = h.find(']');
      if (close == std::string_view::npos || close < 2) return false;
      for (char c : h.substr(1, close - 1))
        if (!(std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.')) return false;
      name = {};
      if (close + 1 < h.size()) {
        if (h[close + 1] != ':') return false;
        port = h.substr(close + 2);
        if (port.empty()) return false;
      }
    } else {
      const auto colon = h.find(':');
      if (colon != std::string_view::npos) {
        name = h.substr(0, colon);
        port = h.substr(colon + 1);
        if (port.empty()) return false;
      }
      if (name.empty()) return false;
      for (char c : name)
        if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '-')) return false;
    }
    if (port.size() > 5) return false;
    for (char c : port)
      if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    return true;
  };
  return "http://" + std::string(valid(host) ? host : fallback);
}

}  // namespace tonvera::station
