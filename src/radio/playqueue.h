// The play queue of the now-playing controller: the current channel's track ids in service order,
// the position of the current track, and a track to be played next instead of the queue's.
//
// The position is signed: it stands at -1 for a moment while a skipped first track is removed,
// and at the queue's length when the queue is used up.
//
// Threads: any thread. One mutex guards every member, because the controller changes the queue on
// the main thread while its "getNextTrackInfo" queue reads it for the next lookup.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace tonvera {

class PlayQueue {
 public:
  using TrackIds = std::vector<std::string>;

  // Replaces the queue (nothing: no queue at all, length 0) and goes back to its start.
  void replace(std::optional<TrackIds> tracks);

  std::int64_t index() const;
  void setIndex(std::int64_t index);
  std::int64_t length() const;  // 0 when there is no queue
  std::optional<TrackIds> tracks() const;

  enum class Step { UsedUp, Lookup };
  // The position part of an advance: when the position stands at the queue's length the queue is
  // used up and the position goes back to 0; otherwise it moves on by one when `moveOn` is set.
  Step advance(bool moveOn);

  // Back one track: the position drops by two (not below 0) before the advance adds one.
  void back();

  // Removes the entry at the position and steps the position back by one, so that the next
  // advance lands on the entry that followed. False (and nothing changed) when the position does
  // not point into the queue.
  bool removeCurrent();

  // Plays `trackId` at the next lookup instead of the queue's entry.
  void insert(std::string trackId);
  bool hasInsert() const;

  // The id to look up next: the inserted track (once), else the entry at the position; nothing when
  // the position is past the queue's end (or before its start).
  std::optional<std::string> takeNextId();

  // The id `steps` entries after the position, which advances will reach in turn; nothing past the
  // queue's end, or while an inserted track comes first.
  std::optional<std::string> idAhead(std::int64_t steps) const;

 private:
  mutable std::mutex mutex_;
  // guarded by mutex_
  std::optional<TrackIds> tracks_;
  std::int64_t index_ = 0;
  bool insertTrack_ = false;
  std::string insertTrackId_;
};

}  // namespace tonvera
