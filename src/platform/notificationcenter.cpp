#include "platform/notificationcenter.h"

#include <algorithm>

namespace tonvera {

NotificationCenter& NotificationCenter::defaultCenter() {
  static NotificationCenter center;
  return center;
}

NotificationCenter::ObserverId NotificationCenter::addObserver(const std::string& name, const void* sender,
                                                               Handler handler, const void* owner) {
  std::lock_guard lock(mutex_);
  const ObserverId id = nextId_++;
  entries_.push_back({id, name, sender, owner, std::make_shared<Handler>(std::move(handler))});
  return id;
}

void NotificationCenter::removeObserver(ObserverId id) {
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [id](const Entry& e) { return e.id == id; });
}

void NotificationCenter::removeObserversOf(const void* owner) {
  if (!owner) return;
  std::lock_guard lock(mutex_);
  std::erase_if(entries_, [owner](const Entry& e) { return e.owner == owner; });
}

bool NotificationCenter::isRegistered(ObserverId id) {
  std::lock_guard lock(mutex_);
  return std::any_of(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
}

void NotificationCenter::post(const std::string& name, const void* sender, PlistValue userInfo) {
  std::vector<std::pair<ObserverId, std::shared_ptr<Handler>>> matching;
  {
    std::lock_guard lock(mutex_);
    for (const Entry& e : entries_) {
      if (!e.name.empty() && e.name != name) continue;
      if (e.sender && e.sender != sender) continue;
      matching.emplace_back(e.id, e.handler);
    }
  }
  const Notification note{name, sender, std::move(userInfo)};
  for (auto& [id, handler] : matching) {
    // An observer removed by an earlier observer of this post is skipped.
    if (isRegistered(id)) (*handler)(note);
  }
}

}  // namespace tonvera
