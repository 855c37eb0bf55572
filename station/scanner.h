#pragma once
// Walks a music folder and builds the Library: every served audio file (hidden files and folders
// skipped), its tags (from the index cache when the file is unchanged, else through TagLib), the
// lyrics beside it, the folder cover and the artist picture.
// Threads: any thread; one scan per index file at a time.

#include <memory>
#include <string>
#include <vector>

#include "station/library.h"

namespace tonvera::station {

struct ScanStats {
  std::size_t audioFiles = 0;  // files with a served extension
  std::size_t fromIndex = 0;   // taken from the index cache without opening the file
  std::size_t read = 0;        // opened and read
  std::size_t unreadable = 0;  // left out: no audio that can be read
  // The unreadable files (relative paths), and which of them this scan read (the others are
  // known from the index and stay unread while unchanged).
  struct Unreadable {
    std::string relPath;
    bool readNow = false;
  };
  std::vector<Unreadable> unreadableFiles;
};

// Scans `root` (a folder). `indexPath` names the index cache file; empty means no cache. Nothing
// (and `error` set) when `root` is not a readable folder.
std::shared_ptr<const Library> scanLibrary(const std::string& root, const std::string& indexPath,
                                           ScanStats* stats = nullptr, std::string* error = nullptr);

// Scans one folder again and again (after changes), keeping the index in memory between scans:
// a rescan walks the folder, opens only the files whose size or time changed, and writes the index
// file only when something changed.
// Threads: any one thread at a time.
class LibraryScanner {
 public:
  LibraryScanner(std::string root, std::string indexPath);
  ~LibraryScanner();
  LibraryScanner(const LibraryScanner&) = delete;
  LibraryScanner& operator=(const LibraryScanner&) = delete;

  std::shared_ptr<const Library> scan(ScanStats* stats = nullptr, std::string* error = nullptr);

 private:
  struct State;
  std::string root_;
  std::string indexPath_;
  std::unique_ptr<State> state_;  // the index of the last scan; loaded from the file on the first
};

// "<dataDir>/index/<digest of the library path>.json"
std::string indexPathFor(const std::string& dataDir, const std::string& root);

}  // namespace tonvera::station
