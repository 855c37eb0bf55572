#include "station/queues.h"

#include <algorithm>
#include <set>

#include "station/limits.h"

namespace tonvera::station {

namespace {
constexpr const char* kPrivateKey = "\x1fprivate";
}

QueuePicker::QueuePicker(std::uint64_t seed) : rng_(seed ? seed : std::random_device{}()) {}

std::vector<std::size_t> QueuePicker::freshFirst(const Library& library, std::vector<std::size_t> pool,
                                                 const std::string& key) {
  std::shuffle(pool.begin(), pool.end(), rng_);
  const auto& before = previous_[key];
  const std::set<std::string> old(before.begin(), before.end());
  std::stable_partition(pool.begin(), pool.end(),
                        [&](std::size_t t) { return !old.count(library.tracks()[t].id); });
  return pool;
}

void QueuePicker::remember(const Library& library, const std::string& key, std::vector<std::size_t>& queue) {
  auto& before = previous_[key];
  // Do not start with the track the previous queue ended on.
  if (queue.size() > 1 && !before.empty() && library.tracks()[queue.front()].id == before.back())
    std::swap(queue[0], queue[1]);
  before.clear();
  for (auto t : queue) before.push_back(library.tracks()[t].id);
}

std::vector<std::size_t> QueuePicker::channelQueue(const Library& library, std::size_t channel) {
  std::lock_guard lock(mutex_);
  const auto& c = library.channels().at(channel);
  auto pool = freshFirst(library, c.tracks, c.id);
  if (pool.size() > kQueueLength) pool.resize(kQueueLength);
  // Fresh tracks in random order first, the repeats (if any) after them.
  remember(library, c.id, pool);
  return pool;
}

std::vector<std::size_t> QueuePicker::privateQueue(const Library& library, const std::vector<std::string>& ids) {
  std::lock_guard lock(mutex_);
  std::set<std::size_t> likedTracks;
  std::vector<std::size_t> likedArtists;
  for (const auto& id : ids) {
    if (auto t = library.trackIndex(id)) likedTracks.insert(*t);
    if (auto a = library.artistIndex(id)) likedArtists.push_back(*a);
  }
  std::set<std::size_t> byArtist;
  for (auto a : likedArtists)
    for (auto t : library.artists()[a].tracks)
      if (!likedTracks.count(t)) byArtist.insert(t);
  std::set<std::size_t> similar;
  std::set<std::size_t> seedArtists(likedArtists.begin(), likedArtists.end());
  for (auto t : likedTracks)
    for (auto a : library.tracks()[t].artists) seedArtists.insert(a);
  for (auto a : seedArtists) {
    // The other tracks of a liked track's artist count with those of similar artists.
    std::vector<std::size_t> related = library.similarArtists(a, 5);
    related.push_back(a);
    for (auto s : related)
      for (auto t : library.artists()[s].tracks)
        if (!likedTracks.count(t) && !byArtist.count(t)) similar.insert(t);
  }

  std::vector<std::size_t> queue;
  if (likedTracks.empty() && byArtist.empty() && similar.empty()) {
    std::vector<std::size_t> all(library.tracks().size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    queue = freshFirst(library, std::move(all), kPrivateKey);
    if (queue.size() > kQueueLength) queue.resize(kQueueLength);
  } else {
    auto a = freshFirst(library, {likedTracks.begin(), likedTracks.end()}, kPrivateKey);
    auto b = freshFirst(library, {byArtist.begin(), byArtist.end()}, kPrivateKey);
    auto c = freshFirst(library, {similar.begin(), similar.end()}, kPrivateKey);
    // Up to four liked tracks and four of liked artists, the rest from similar artists; what is
    // still missing comes from whichever group has tracks left.
    std::size_t ia = 0, ib = 0, ic = 0;
    auto take = [&](std::vector<std::size_t>& from, std::size_t& i, std::size_t limit) {
      while (i < from.size() && queue.size() < limit) queue.push_back(from[i++]);
    };
    take(a, ia, 4);
    take(b, ib, queue.size() + 4);
    take(c, ic, kQueueLength);
    take(a, ia, kQueueLength);
    take(b, ib, kQueueLength);
    std::shuffle(queue.begin(), queue.end(), rng_);
  }
  remember(library, kPrivateKey, queue);
  return queue;
}

}  // namespace tonvera::station
