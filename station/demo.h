#pragma once
// The demo library the station serves when no music folder is given: about 25 short songs of
// generated music (MP3, raw AAC for two albums, PURE for one) by six artists on six albums in five genres,
// with Chinese and English titles and names, painted covers (embedded or as cover.jpg/folder.jpg)
// and artist pictures (artist.jpg), and LRC lyrics whose time tags fall on the sung phrases.
// Generation is deterministic: the same program writes the same bytes.
// Threads: call from one thread; the work itself runs on a few worker threads.

#include <functional>
#include <optional>
#include <string>

namespace tonvera::station {

struct DemoOptions {
  // A few tracks of a few seconds (one per album and the duets), for tests.
  bool reduced = false;
  // Worker threads; 0: one per processor.
  int threads = 0;
  // Told one line per finished step (may be empty).
  std::function<void(const std::string&)> progress;
};

// Writes the demo library into `folder` (created when missing). False (and `error` set) when a
// file cannot be written or the encoders are missing.
bool generateDemoLibrary(const std::string& folder, const DemoOptions& options, std::string* error = nullptr);

// "<dataDir>/demo" once it holds a complete demo library of this program's version; generates it
// first when it does not (into a scratch folder renamed into place, so an interrupted run leaves
// nothing half-made behind that name). Nothing (and `error` set) when generation fails.
std::optional<std::string> ensureDemoLibrary(const std::string& dataDir, const DemoOptions& options,
                                             std::string* error = nullptr);

// The number of tracks a generation writes.
int demoTrackCount(bool reduced);

}  // namespace tonvera::station
