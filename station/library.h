#pragma once
// The station's index of a music folder: tracks, artists, albums and channels with stable ids,
// built from the files a scan found. A Library is immutable once built; a rescan builds a new one,
// and ids stay the same for unchanged files (see ids.h).
// Threads: build on any thread; after that any number of threads may read it at once.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "station/audioformats.h"
#include "station/tagreader.h"

namespace tonvera::station {

// One audio file as a scan found it. Paths are relative to the library folder, '/'-separated.
struct ScannedFile {
  std::string relPath;
  AudioFormat format = AudioFormat::Mp3;
  TrackTags tags;
  std::string lyricsRelPath;   // "<stem>.lrc" beside the file, when present
  std::string folderCover;     // cover.jpg, folder.jpg, ... beside the file, when present
  std::string artistPicture;   // artist.jpg in the file's folder or the one above, when present
};

// Where a picture comes from. None: the station paints one.
struct PictureSource {
  enum class Kind { None, File, Embedded };
  Kind kind = Kind::None;
  std::string path;  // absolute: the picture file, or the audio file that embeds it
  AudioFormat format = AudioFormat::Mp3;  // of the audio file, for Embedded
};

struct Track {
  std::string id;
  std::string relPath;
  std::string path;  // absolute
  AudioFormat format = AudioFormat::Mp3;
  std::string title;
  std::string genre;
  int trackNumber = 0;
  std::int64_t durationMs = 0;
  std::uint64_t audioBegin = 0;
  std::uint64_t audioEnd = 0;
  std::vector<std::size_t> artists;  // indexes into Library::artists(), in order
  std::size_t album = 0;             // index into Library::albums()
  std::string lyricsPath;            // absolute, empty when the track has none
  std::string folded;                // folded title, for search
};

struct Artist {
  std::string id;
  std::string name;
  std::string folded;
  std::vector<std::size_t> tracks;
  std::vector<std::size_t> albums;
  std::vector<std::string> genres;  // display names, in first-seen order
  PictureSource picture;
};

struct Album {
  std::string id;
  std::string name;
  std::string folded;
  std::vector<std::size_t> artists;  // the album artist
  std::vector<std::size_t> tracks;   // in track-number, then path order
  PictureSource cover;
};

struct Channel {
  std::string id;
  std::string name;
  std::vector<std::size_t> tracks;
};

// Names used when neither tags nor folders give one.
inline constexpr std::string_view kUnknownArtist = "未知艺人";
inline constexpr std::string_view kUnknownAlbum = "未知专辑";

class Library {
  struct Key {};  // only build() makes libraries

 public:
  explicit Library(Key) {}

  // `root` is the absolute library folder; `files` in any order.
  static std::shared_ptr<const Library> build(std::string root, std::vector<ScannedFile> files);

  const std::string& root() const { return root_; }
  const std::vector<Track>& tracks() const { return tracks_; }
  const std::vector<Artist>& artists() const { return artists_; }
  const std::vector<Album>& albums() const { return albums_; }
  const std::vector<Channel>& channels() const { return channels_; }

  std::optional<std::size_t> trackIndex(std::string_view id) const;
  std::optional<std::size_t> artistIndex(std::string_view id) const;
  std::optional<std::size_t> albumIndex(std::string_view id) const;
  std::optional<std::size_t> channelIndex(std::string_view id) const;

  // Artists sharing albums (2 points each) or genres (1 point each) with `artist`, best first,
  // ties by name; at most `limit`. The artist itself is never among them.
  std::vector<std::size_t> similarArtists(std::size_t artist, std::size_t limit) const;

 private:
  std::string root_;
  std::vector<Track> tracks_;
  std::vector<Artist> artists_;
  std::vector<Album> albums_;
  std::vector<Channel> channels_;
  std::unordered_map<std::string, std::size_t> trackIds_, artistIds_, albumIds_, channelIds_;
};

}  // namespace tonvera::station
