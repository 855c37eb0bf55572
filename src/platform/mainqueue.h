#pragma once
// The main queue: the Qt event-loop thread of the QCoreApplication/QApplication. It is the only
// bridge from worker threads back to the main thread.

#include <chrono>
#include <functional>

namespace tonvera {

// Queues `task` to run on the main thread's event loop, after the events already queued. Any thread
// may call it, the main thread included (the task then runs on a later turn of the loop). Without an
// application object the task is dropped and one line is logged.
void runOnMain(std::function<void()> task);

// True on the thread that owns the application object (or, before one exists, on the first thread
// that asked).
bool isMainThread();

}  // namespace tonvera
