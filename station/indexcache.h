#pragma once
// The scan's memory between runs: for every audio file, its size, modification time and what was
// read from it. A file whose size and time are unchanged is not opened again on the next scan, so
// a restart over a large library costs one directory walk. Stored as JSON in the data folder;
// a damaged or foreign file reads as an empty index.
// Threads: plain values; one thread at a time per object.

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "station/audioformats.h"
#include "station/tagreader.h"

namespace tonvera::station {

struct IndexEntry {
  std::uint64_t size = 0;
  std::int64_t mtimeNs = 0;
  bool readable = true;  // false: the file could not be read; not retried while unchanged
  TrackTags tags;
};

class IndexCache {
 public:
  static IndexCache load(const std::string& path);
  bool save(const std::string& path, std::string* error = nullptr) const;

  // The entry for `relPath` when size and time match.
  const IndexEntry* find(const std::string& relPath, std::uint64_t size, std::int64_t mtimeNs) const;
  void put(const std::string& relPath, IndexEntry entry) { entries_[relPath] = std::move(entry); }
  std::size_t size() const { return entries_.size(); }

 private:
  std::map<std::string, IndexEntry> entries_;
};

}  // namespace tonvera::station
