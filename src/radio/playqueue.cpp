#include "radio/playqueue.h"

#include <algorithm>

namespace tonvera {

void PlayQueue::replace(std::optional<TrackIds> tracks) {
  std::lock_guard lock(mutex_);
  tracks_ = std::move(tracks);
  index_ = 0;
}

std::int64_t PlayQueue::index() const {
  std::lock_guard lock(mutex_);
  return index_;
}

void PlayQueue::setIndex(std::int64_t index) {
  std::lock_guard lock(mutex_);
  index_ = index;
}

std::int64_t PlayQueue::length() const {
  std::lock_guard lock(mutex_);
  return tracks_ ? static_cast<std::int64_t>(tracks_->size()) : 0;
}

std::optional<PlayQueue::TrackIds> PlayQueue::tracks() const {
  std::lock_guard lock(mutex_);
  return tracks_;
}

PlayQueue::Step PlayQueue::advance(bool moveOn) {
  std::lock_guard lock(mutex_);
  const auto len = tracks_ ? static_cast<std::int64_t>(tracks_->size()) : 0;
  if (index_ == len) {
    index_ = 0;
    return Step::UsedUp;
  }
  if (moveOn) ++index_;
  return Step::Lookup;
}

void PlayQueue::back() {
  std::lock_guard lock(mutex_);
  index_ = std::max<std::int64_t>(index_ - 2, 0);
}

bool PlayQueue::removeCurrent() {
  std::lock_guard lock(mutex_);
  if (!tracks_ || index_ < 0 || index_ >= static_cast<std::int64_t>(tracks_->size())) return false;
  tracks_->erase(tracks_->begin() + index_);
  --index_;
  return true;
}

void PlayQueue::insert(std::string trackId) {
  std::lock_guard lock(mutex_);
  insertTrackId_ = std::move(trackId);
  insertTrack_ = true;
}

bool PlayQueue::hasInsert() const {
  std::lock_guard lock(mutex_);
  return insertTrack_;
}

std::optional<std::string> PlayQueue::takeNextId() {
  std::lock_guard lock(mutex_);
  if (insertTrack_) {
    insertTrack_ = false;
    return insertTrackId_;
  }
  const auto len = tracks_ ? static_cast<std::int64_t>(tracks_->size()) : 0;
  if (index_ < 0 || index_ >= len) return std::nullopt;
  return (*tracks_)[static_cast<std::size_t>(index_)];
}

std::optional<std::string> PlayQueue::idAhead(std::int64_t steps) const {
  std::lock_guard lock(mutex_);
  if (insertTrack_) return std::nullopt;
  const auto len = tracks_ ? static_cast<std::int64_t>(tracks_->size()) : 0;
  const std::int64_t at = index_ + steps;
  if (at < 0 || at >= len) return std::nullopt;
  return (*tracks_)[static_cast<std::size_t>(at)];
}

}  // namespace tonvera
