#include "radio/trackprefetch.h"

#include "platform/mainqueue.h"
#include "platform/serialqueue.h"

namespace tonvera {

TrackPrefetch::TrackPrefetch() = default;

TrackPrefetch::~TrackPrefetch() {
  alive_.reset();
  if (cancel_) cancel_->store(true);
  queue_.reset();
}

void TrackPrefetch::drop() {
  ++generation_;
  started_ = false;
  noEnglish_.reset();
  lookedUp_.clear();
  song_.reset();
  held_.reset();
  if (cancel_) cancel_->store(true);
  cancel_.reset();
}

void TrackPrefetch::remember(std::string id, std::shared_ptr<TNSong> song) {
  lookedUp_.emplace_back(std::move(id), std::move(song));
}

void TrackPrefetch::fetch(std::shared_ptr<TNSong> song, std::string url, std::size_t maxBytes,
                          std::function<void()> held) {
  if (cancel_) cancel_->store(true);
  cancel_ = std::make_shared<std::atomic<bool>>(false);
  song_ = std::move(song);
  held_.reset();
  if (!queue_) queue_ = std::make_unique<SerialQueue>("prefetch");
  queue_->async([url = std::move(url), maxBytes, cancel = cancel_, generation = generation_,
                 alive = std::weak_ptr<bool>(alive_), this, held = std::move(held)]() mutable {
    auto head = fetchHeldStream(url, maxBytes, *cancel);
    if (!head || !head->usable()) return;
    auto stream = std::make_shared<const HeldStream>(std::move(*head));
    runOnMain([this, alive, generation, stream = std::move(stream), held = std::move(held)] {
      if (!alive.lock() || generation != generation_) return;
      held_ = stream;
      if (held) held();
    });
  });
}

std::shared_ptr<const HeldStream> TrackPrefetch::take(const std::shared_ptr<TNSong>& song,
                                                      const std::string& url) {
  if (!held_ || !song || song != song_ || held_->url != url) return nullptr;
  return std::exchange(held_, nullptr);
}

}  // namespace tonvera
