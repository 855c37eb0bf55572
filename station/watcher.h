#pragma once
// Watches a music folder and every folder below it (inotify) and reports a burst of changes once
// it has settled: kWatchQuietMs after the last change, or kWatchMaxDelayMs after the first one
// while changes keep coming (a long copy). Files added, removed, renamed, written or touched count;
// folders created or moved in are watched from then on. The report asks for a rescan of the whole
// folder, which the index makes cheap; no change is lost between reports, since a rescan started
// after a change sees it.
//
// Threads: construct, start() and destroy on one thread; `changed` runs on the watcher's own
// thread, one call at a time; rescanNow() from any thread.

#include <atomic>
#include <functional>
#include <memory>
#include <string>

namespace tonvera::station {

// A burst of changes is reported this long after its last change...
inline constexpr int kWatchQuietMs = 300;
// ...or this long after its first, whichever comes first.
inline constexpr int kWatchMaxDelayMs = 2000;

class FolderWatcher {
 public:
  FolderWatcher(std::string root, std::function<void()> changed);
  ~FolderWatcher();
  FolderWatcher(const FolderWatcher&) = delete;
  FolderWatcher& operator=(const FolderWatcher&) = delete;

  // Starts watching. False (and `error` set) when the folder cannot be watched at all; the
  // thread then still runs, so rescanNow() works. `error` is also set (with true returned) when
  // some folders could not be watched (the system's watch limit).
  bool start(std::string* error = nullptr);

  // Reports a change now (soon after), as if the folder had changed: a rescan on request.
  void rescanNow();

  // Folders watched at the moment.
  int watchedFolders() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tonvera::station
