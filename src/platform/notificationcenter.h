#pragma once
// Named notifications with a sender and user info. Observers are called synchronously, on the posting
// thread, in the order they were added. Posts the program makes on the main thread are made there by
// the poster; the centre itself does not switch threads.
//
// Threads: any thread may add, remove and post. An observer removed while a post is running is not
// called afterwards (unless its call already began); an observer added during a post is not called by
// that post.

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/plist.h"

namespace tonvera {

struct Notification {
  std::string name;
  const void* sender = nullptr;  // identity only; never dereferenced by the centre
  PlistValue userInfo;           // a dict, or None
};

class NotificationCenter {
 public:
  using ObserverId = std::uint64_t;
  using Handler = std::function<void(const Notification&)>;

  // The process-wide centre.
  static NotificationCenter& defaultCenter();

  NotificationCenter() = default;
  NotificationCenter(const NotificationCenter&) = delete;
  NotificationCenter& operator=(const NotificationCenter&) = delete;

  // Observes `name` (empty: every name) from `sender` (nullptr: any sender). `owner` groups
  // observers for removeObserver(owner). Answers an id for removeObserver(id).
  ObserverId addObserver(const std::string& name, const void* sender, Handler handler,
                         const void* owner = nullptr);
  void removeObserver(ObserverId id);
  // Removes every observer added with this owner.
  void removeObserversOf(const void* owner);

  void post(const std::string& name, const void* sender = nullptr, PlistValue userInfo = {});

 private:
  struct Entry {
    ObserverId id;
    std::string name;
    const void* sender;
    const void* owner;
    std::shared_ptr<Handler> handler;
  };
  bool isRegistered(ObserverId id);

  // guarded by mutex_
  std::mutex mutex_;
  std::vector<Entry> entries_;
  ObserverId nextId_ = 1;
};

// Removes its observer when destroyed: hold one per observation in the observing object.
class ScopedObserver {
 public:
  ScopedObserver() = default;
  ScopedObserver(NotificationCenter& center, const std::string& name, const void* sender,
                 NotificationCenter::Handler handler)
      : center_(&center), id_(center.addObserver(name, sender, std::move(handler))) {}
  ~ScopedObserver() { reset(); }
  ScopedObserver(ScopedObserver&& o) noexcept : center_(o.center_), id_(o.id_) { o.center_ = nullptr; }
  ScopedObserver& operator=(ScopedObserver&& o) noexcept {
    if (this != &o) {
      reset();
      center_ = o.center_;
      id_ = o.id_;
      o.center_ = nullptr;
    }
    return *this;
  }
  void reset() {
    if (center_) center_->removeObserver(id_);
    center_ = nullptr;
  }

 private:
  NotificationCenter* center_ = nullptr;
  NotificationCenter::ObserverId id_ = 0;
};

}  // namespace tonvera
