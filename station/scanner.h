#pragma once
// Walks a music folder and builds the Library: every served audio file (hidden files and folders
// skipped), its tags (from the index cache when the file is unchanged, else through TagLib), the
// lyrics beside it, the folder cover and the artist picture.
// Threads: any thread; one scan per index file at a time.

#include <memory>
#include <string>

#include "station/library.h"

namespace tonvera::station {

struct ScanStats {
  std::size_t audioFiles = 0;  // files with a served extension
  std::size_t fromIndex = 0;   // taken from the index cache without opening the file
  std::size_t read = 0;        // opened and read
  std::size_t unreadable = 0;  // left out: not a readable file of its format
};

// Scans `root` (a folder). `indexPath` names the index cache file; empty means no cache. Nothing
// (and `error` set) when `root` is not a readable folder.
std::shared_ptr<const Library> scanLibrary(const std::string& root, const std::string& indexPath,
                                           ScanStats* stats = nullptr, std::string* error = nullptr);

// "<dataDir>/index/<digest of the library path>.json"
std::string indexPathFor(const std::string& dataDir, const std::string& root);

}  // namespace tonvera::station
