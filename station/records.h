#pragma once
// The JSON records the station answers with, and the URLs inside them. Every URL is absolute,
// starts with the base the client reached the station by, and is made only of characters that
// need no percent-escaping (ids are [a-z0-9]), because players escape URLs once more before use.
// Threads: any thread; a Records object is used by one request.

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

#include "station/library.h"

namespace tonvera::station {

using Json = nlohmann::ordered_json;

// Paths of the files the replies point to.
std::string streamPath(const Track& track);  // "/streams/<id>.<ext>"
std::string lyricsPath(const Track& track);  // "/lyrics/<id>.lrc"
std::string albumPicturePath(const Album& album);     // "/pictures/albums/<id>"
std::string artistPicturePath(const Artist& artist);  // "/pictures/artists/<id>"
std::string channelPicturePath(const Channel& channel);  // "/pictures/channels/<id>"

class Records {
 public:
  // `base` is "http://<host>[:port]" without a trailing slash. With offerPure, the url list of a
  // track in another format starts with its PURE stream (its own stream follows).
  Records(const Library& library, std::string base, bool offerPure = false)
      : lib_(library), base_(std::move(base)), offerPure_(offerPure) {}

  std::string url(const std::string& path) const { return base_ + path; }

  // id, name, artist [{id, name}], album {id, name}, url [stream], lrc [[id, "lrc", lyrics URL]]
  // when the track has lyrics, duration (seconds), genre, format.
  Json track(std::size_t index) const;
  // id, name, genres, track_count, album_count.
  Json artist(std::size_t index) const;
  // id, name, artist [{id, name}], track_count.
  Json album(std::size_t index) const;
  // id, name, track_count.
  Json channel(std::size_t index) const;

 private:
  Json artistRef(std::size_t index) const;

  const Library& lib_;
  std::string base_;
  bool offerPure_ = false;
};

// Serialised reply text (UTF-8, anything undecodable replaced).
std::string toText(const Json& value);

}  // namespace tonvera::station

namespace tonvera::station {

// "http://" + the request's Host header when it is a plain host name, IPv4 or bracketed IPv6
// address with an optional port; else "http://" + `fallback` (the bound address and port).
std::string baseUrlFor(std::string_view hostHeader, std::string_view fallback);

}  // namespace tonvera::station
