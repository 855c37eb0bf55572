#pragma once
// Reads what the station needs from one audio file: tags through TagLib (MP3, raw AAC with ID3v2,
// M4A, WAV, AIFF), the length, whether a cover picture is embedded, and the byte range served as
// the stream. PURE files have no tags; their header gives the length.
// Any thread may call these; TagLib objects are local to each call.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "station/audioformats.h"

namespace tonvera::station {

struct TrackTags {
  std::string title;                 // empty: taken from the file name
  std::vector<std::string> artists;  // in order; empty: taken from the folders
  std::string album;
  std::string albumArtist;
  std::string genre;
  int trackNumber = 0;
  std::int64_t durationMs = 0;
  bool embeddedCover = false;
  // Bytes served as the stream: [audioBegin, audioEnd). Raw AAC files are served without their
  // tags, since ADTS readers expect frames from the first byte; other formats are served whole.
  std::uint64_t audioBegin = 0;
  std::uint64_t audioEnd = 0;
};

// Nothing when the file is not a readable file of that format: one whose audio cannot be read
// (no length, or for MP3 no whole frames) holds no track, whatever its tags say.
std::optional<TrackTags> readTrackTags(const std::string& path, AudioFormat format, std::uint64_t fileSize);

// The bytes of the first embedded picture (front cover preferred), or nothing.
std::optional<std::string> readEmbeddedPicture(const std::string& path, AudioFormat format);

// Artist tag values split into names: several values stay several names, and one value holding
// "A / B", "A; B" or "A、B" gives two. Empty names are dropped, duplicates kept once.
std::vector<std::string> splitArtistNames(const std::vector<std::string>& values);

}  // namespace tonvera::station
