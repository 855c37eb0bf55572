#pragma once
// Play queues: about ten track ids for a channel, shuffled, preferring tracks that were not in the
// channel's previous queue; and the private channel, mixed from liked tracks, the tracks of liked
// artists and the tracks of artists similar to them.
// Threads: any thread; the picker locks its own state (random generator, previous queues).

#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "station/library.h"

namespace tonvera::station {

class QueuePicker {
 public:
  // seed 0: a random seed.
  explicit QueuePicker(std::uint64_t seed = 0);

  // Track indexes for channel `channel` of `library`: kQueueLength of them (all, when the channel
  // holds fewer), shuffled; tracks of the channel's previous queue come last and, where the channel
  // allows, not at all; the first track is never the previous queue's last.
  std::vector<std::size_t> channelQueue(const Library& library, std::size_t channel);

  // The private channel for `ids` (track and artist ids; unknown ones are ignored). Never empty
  // while the library has tracks: without a known id it is a random queue of every track.
  std::vector<std::size_t> privateQueue(const Library& library, const std::vector<std::string>& ids);

 private:
  // Shuffles `pool`, then moves the tracks of the previous queue under `key` to the end.
  std::vector<std::size_t> freshFirst(const Library& library, std::vector<std::size_t> pool, const std::string& key);
  void remember(const Library& library, const std::string& key, std::vector<std::size_t>& queue);

  std::mutex mutex_;
  // guarded by mutex_
  std::mt19937_64 rng_;
  std::map<std::string, std::vector<std::string>> previous_;  // queue key -> track ids
};

}  // namespace tonvera::station
