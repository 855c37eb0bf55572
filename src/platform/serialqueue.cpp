#include "platform/serialqueue.h"

#include <pthread.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "platform/log.h"

namespace tonvera {
namespace {

// The detached tasks of the process, so that quitting can wait for them.
struct DetachedTasks {
  std::mutex mutex;
  std::condition_variable ended;
  int running = 0;      // guarded by mutex
  bool closed = false;  // guarded by mutex
};

DetachedTasks& detachedTasks() {
  static auto* tasks = new DetachedTasks;  // never destroyed: a late thread may still end after exit
  return *tasks;
}

std::atomic<bool> gTransfersCancelled{false};

}  // namespace

bool transfersCancelled() { return gTransfersCancelled.load(std::memory_order_relaxed); }

void setCurrentThreadName(const std::string& name) {
  pthread_setname_np(pthread_self(), name.substr(0, 15).c_str());
}

SerialQueue::SerialQueue(std::string label) : label_(std::move(label)) {
  worker_ = std::thread([this] { run(); });
}

SerialQueue::~SerialQueue() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
}

void SerialQueue::async(std::function<void()> task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

bool SerialQueue::isCurrent() const { return std::this_thread::get_id() == worker_.get_id(); }

void SerialQueue::run() {
  setCurrentThreadName(label_);
  for (;;) {
    std::function<void()> task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
      if (tasks_.empty()) return;  // stopping and drained
      task = std::move(tasks_.front());
      tasks_.pop_front();
    }
    task();
  }
}

void SerialQueue::runDetached(const std::string& label, std::function<void()> task) {
  DetachedTasks& tasks = detachedTasks();
  {
    std::lock_guard lock(tasks.mutex);
    if (tasks.closed) return;
    ++tasks.running;
  }
  std::thread([label, task = std::move(task), &tasks]() mutable {
    setCurrentThreadName(label);
    task();
    task = nullptr;  // what the task held goes before the quit may proceed
    std::lock_guard lock(tasks.mutex);
    --tasks.running;
    tasks.ended.notify_all();
  }).detach();
}

bool SerialQueue::finishDetached(std::chrono::milliseconds limit) {
  DetachedTasks& tasks = detachedTasks();
  gTransfersCancelled.store(true);
  std::unique_lock lock(tasks.mutex);
  tasks.closed = true;
  return tasks.ended.wait_for(lock, limit, [&tasks] { return tasks.running == 0; });
}

void finishBackgroundWork(int exitStatus) {
  if (SerialQueue::finishDetached(kQuitWait)) return;
  log("quit: background work still running after %lld ms; leaving at once",
      static_cast<long long>(kQuitWait.count()));
  std::fflush(nullptr);
  std::_Exit(exitStatus);
}

}  // namespace tonvera
