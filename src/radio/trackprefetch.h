// What the radio holds of the track after the current one: the records of the tracks looked up
// ahead (so that the advance needs no lookup), and the head of the next playable track's stream
// (so that its player starts from memory). Nothing of it is shown, played or announced: the
// controller takes what it needs when a track becomes current, and drops the rest.
//
// Dropping (drop()) cancels a fetch on its way, lets the held bytes go and stamps a new generation,
// so that an answer of earlier work is ignored when it comes. The fetch runs on a queue of its own
// ("prefetch"), made on the first fetch; while nothing is on its way it sleeps (no wake-ups).
//
// Threads: main thread only; the fetch itself runs on the queue and reports on the main thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "audio/heldstream.h"

namespace tonvera {

class SerialQueue;
class TNSong;

class TrackPrefetch {
 public:
  using LookedUp = std::vector<std::pair<std::string, std::shared_ptr<TNSong>>>;

  TrackPrefetch();
  ~TrackPrefetch();
  TrackPrefetch(const TrackPrefetch&) = delete;
  TrackPrefetch& operator=(const TrackPrefetch&) = delete;

  // Forgets everything and cancels what is on its way.
  void drop();
  // Stamps the work of one look-ahead; answers stamped with an earlier one are dropped.
  std::uint64_t generation() const { return generation_; }
  // Whether a look-ahead was started since the last drop.
  bool started() const { return started_; }
  void setStarted() { started_ = true; }
  // The "enplay" setting the look-ahead filtered with, while one was started.
  std::optional<bool> filteredWithNoEnglish() const { return noEnglish_; }
  void setFilteredWithNoEnglish(bool noEnglish) { noEnglish_ = noEnglish; }

  // Track records looked up ahead, by id.
  void remember(std::string id, std::shared_ptr<TNSong> song);
  const LookedUp& lookedUp() const { return lookedUp_; }

  // Fetches the head of `url`, the stream of `song`, at most `maxBytes`; `held` runs on the main
  // thread once it is held (not when it failed, could not be used, or was dropped meanwhile).
  void fetch(std::shared_ptr<TNSong> song, std::string url, std::size_t maxBytes, std::function<void()> held);
  // The track whose head is held (or on its way); null when none.
  const std::shared_ptr<TNSong>& song() const { return song_; }
  // Bytes held now.
  std::size_t heldBytes() const { return held_ ? held_->bytes.size() : 0; }
  // The held head when it is `song`'s stream at `url`; it is no longer held here afterwards.
  std::shared_ptr<const HeldStream> take(const std::shared_ptr<TNSong>& song, const std::string& url);

 private:
  // main thread only
  std::uint64_t generation_ = 0;
  bool started_ = false;
  std::optional<bool> noEnglish_;
  LookedUp lookedUp_;
  std::shared_ptr<TNSong> song_;
  std::shared_ptr<const HeldStream> held_;
  std::shared_ptr<std::atomic<bool>> cancel_;  // of the fetch on its way
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
  // last member: destroyed first (after a cancel), letting a fetch on its way end
  std::unique_ptr<SerialQueue> queue_;
};

}  // namespace tonvera
