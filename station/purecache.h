#pragma once
// PURE versions of the library's tracks for `tonvera-station --pure [R]`: every track is also
// offered as "/streams/<id>.pur" ("audio/x-pur"), coded from its file on the first request into
// the folder "pure" of the data folder and served from there with byte ranges afterwards.
//
// The folder is a cache bounded in size: each file is written under a temporary name and renamed
// into place (a reader never sees half a file; an interrupted coding leaves only a temporary file,
// removed at the next start), a hit refreshes the file's time, and after each new file the least
// recently used files are removed until the folder holds at most the bound. A file removed while
// it is being served stays readable to that reply. The name carries the track id, the rate and the
// source file's size and modification time, so a changed file is coded again.
//
// Threads: any request thread. Concurrent requests for the same track wait for one coding.

#include <httplib.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>

#include "station/library.h"

namespace tonvera::station {

// The cache bound: about 270 four-minute tracks at R = 64 (16 200 bytes a second).
inline constexpr std::uint64_t kPureCacheMaxBytes = 1ull << 30;
// Temporary files older than this at start-up are left from an interrupted coding.
inline constexpr int kPureStaleTempSeconds = 3600;

class PureCache {
 public:
  // `folder` is created when missing. rate: an even rate 2..128.
  PureCache(std::string folder, int rate, std::uint64_t maxBytes = kPureCacheMaxBytes);

  int rate() const { return rate_; }
  const std::string& folder() const { return folder_; }

  // The PURE file of `track`: the cached one, or coded now. Nothing (and `error` set) when the
  // source cannot be read or coded.
  std::optional<std::string> fileFor(const Track& track, std::string* error = nullptr);

  // Bytes of the finished PURE files in the folder.
  std::uint64_t bytesOnDisk() const;

 private:
  void evict(const std::string& keep);

  const std::string folder_;
  const int rate_;
  const std::uint64_t maxBytes_;
  std::atomic<unsigned> tempCounter_{0};

  std::mutex mutex_;
  std::condition_variable codingDone_;  // signalled when a coding ends
  std::set<std::string> coding_;        // cache file names being coded; guarded by mutex_
};

// The stream endpoint's hook: serves the PURE version of `track` (a track whose own format is not
// PURE) with ranges. Answers 500 when it cannot be coded.
void servePureStream(const httplib::Request& req, httplib::Response& res, PureCache& cache,
                     const Track& track, std::atomic<int>& openStreams);

// The PURE stream path of a track: "/streams/<id>.pur".
std::string pureStreamPath(const Track& track);

}  // namespace tonvera::station
