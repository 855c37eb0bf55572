#pragma once
// A named serial queue: one worker thread that runs its tasks one after another, in the order they
// were queued. Results go back to the main thread through runOnMain().
//
// Threads: async() may be called from any thread. The destructor must not run on the queue's own
// worker thread; it lets every task queued so far finish, then joins the worker.

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace tonvera {

class SerialQueue {
 public:
  explicit SerialQueue(std::string label);
  ~SerialQueue();
  SerialQueue(const SerialQueue&) = delete;
  SerialQueue& operator=(const SerialQueue&) = delete;

  const std::string& label() const { return label_; }

  // Queues `task`; it runs on the worker after every task queued before it.
  void async(std::function<void()> task);

  // True while called from a task of this queue.
  bool isCurrent() const;

  // Runs one task on a new serial queue of its own that ends when the task ends (the "one new queue
  // per download" pattern). The task must not depend on objects that may be destroyed meanwhile
  // unless it holds them (shared_ptr) itself. After finishDetached() the task is dropped unrun.
  static void runDetached(const std::string& label, std::function<void()> task);

  // At quit, before the application object goes: no detached task starts any more, the network
  // transfers in flight are cancelled (transfersCancelled()), and the caller waits up to `limit` for
  // the detached tasks still running to end (a cancelled download ends at the transfer's next
  // progress report, within about a second; a picture being decoded finishes). True when none runs.
  static bool finishDetached(std::chrono::milliseconds limit);

 private:
  void run();

  const std::string label_;
  // guarded by mutex_
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<std::function<void()>> tasks_;
  bool stopping_ = false;
  // immutable after construction
  std::thread worker_;
};

// The quit of a program with an application object: SerialQueue::finishDetached(kQuitWait) right
// after the event loop ends. Should a task still run after that, the process ends at once with
// `exitStatus` (standard streams flushed) rather than unloading its libraries under that thread.
inline constexpr std::chrono::milliseconds kQuitWait{3000};
void finishBackgroundWork(int exitStatus);

// True once the program quits (SerialQueue::finishDetached()): transfers in flight give up.
bool transfersCancelled();

// Names the calling thread (shown by debuggers and `top -H`); at most 15 bytes are kept.
void setCurrentThreadName(const std::string& name);

}  // namespace tonvera
