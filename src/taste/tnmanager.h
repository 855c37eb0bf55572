// TNManager: the taste store. It owns the listener's four taste lists (liked songs, disliked songs,
// liked artists, disliked artists) and their property-list files in the account folder.
//
// Files ("<account folder>/<name>"): "LoveFile.plst", "disLoveFile.plist",
// "LoveArtistsFileName.plst", "disLoveArtistsFileName.plist". Each is an XML property list whose
// root is a dictionary: entry id -> the entry's whole record. A list is loaded from its file on first
// use and kept for the run; every change toggles the one record in the file at once (read afresh,
// written atomically). The lists are independent: a song may be both liked and disliked.
//
// A file that exists but cannot be read, does not parse, or whose root is not a dictionary is never
// overwritten: the next change moves it aside ("<file>.corrupt-<unix time>"), logs one line, and then
// writes a new file.
//
// Threads: main thread only (button actions, table callbacks, notification handlers). No locks.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "records/recordfields.h"

namespace tonvera {

namespace test {
void forgetTasteStore();  // tests/support: the store as a new process finds it
}

class TNSong;
class TNArtist;

class TNManager {
 public:
  using SongList = std::vector<std::shared_ptr<TNSong>>;
  using ArtistList = std::vector<std::shared_ptr<TNArtist>>;

  static constexpr const char* kLoveFileName = "LoveFile.plst";
  static constexpr const char* kDisLoveFileName = "disLoveFile.plist";
  static constexpr const char* kLoveArtistsFileName = "LoveArtistsFileName.plst";
  static constexpr const char* kDisLoveArtistsFileName = "disLoveArtistsFileName.plist";

  // The one store of the process, created on first use with all four lists absent.
  static TNManager& sharedManager();
  TNManager(const TNManager&) = delete;
  TNManager& operator=(const TNManager&) = delete;

  // The shared, modifiable lists, loaded from their files on first use. The favourites pages hold
  // these very lists (references stay valid for the run).
  SongList& likeSongs();
  SongList& hateSongs();
  ArtistList& likeArtists();
  ArtistList& hateArtists();

  // A new list built from the liked (love) or disliked songs' / artists' file: one object per value
  // of the file's root dictionary, in the dictionary's order. Empty when the file is missing or
  // unreadable, its root is not a dictionary, or the account folder is unavailable.
  SongList genSongsLove(bool love) const;
  ArtistList genArtistsLove(bool love) const;

  // Whether the liked (disliked) songs hold an entry with the same track id as `song`, compared as
  // text; the walk stops at the first match. A track without an id is neither.
  bool isLove(const TNSong& song);
  bool isHate(const TNSong& song);
  // The same tests on the liked (disliked) artists by artist id.
  bool isLove(const TNArtist& artist);
  bool isHate(const TNArtist& artist);

  // yOrN true: toggles the entry (removed when the list holds one with the same id, else the object
  // itself is appended); false: removes entries with the same id. Then toggles the record in the file
  // and posts "likeSong", "hateSong", "likeArtist" or "hateArtist" (object: the store), so that every
  // view of the taste follows whichever page made the change.
  void likeSong(const std::shared_ptr<TNSong>& song, bool yOrN);
  void hateSong(const std::shared_ptr<TNSong>& song, bool yOrN);
  void likeArtist(const std::shared_ptr<TNArtist>& artist, bool yOrN);
  void hateArtist(const std::shared_ptr<TNArtist>& artist, bool yOrN);

  // Toggles one record in the liked (love) or disliked songs' / artists' file: removed when the file
  // holds its id, else stored whole under its id. A record without an id, or no account folder,
  // changes nothing.
  void writeInfo(const std::optional<Record>& info, bool love);
  void writeArtistInfo(const std::optional<Record>& info, bool love);

  // The track id of every liked song in list order, then the artist id of every liked artist in list
  // order; not de-duplicated. Entries without an id are left out.
  std::vector<std::string> allLikeSongAndArtistId();

  // The path of a taste file, or nothing when the account folder is unavailable.
  static std::optional<std::string> tasteFilePath(const char* fileName);

 private:
  // Forgets the shared store's four lists (tests play several runs in one process).
  friend void test::forgetTasteStore();
  TNManager() = default;
  void announce(const char* name);

  // owner: main thread
  std::optional<SongList> likeSongs_;
  std::optional<SongList> hateSongs_;
  std::optional<ArtistList> likeArtists_;
  std::optional<ArtistList> hateArtists_;
};

}  // namespace tonvera
