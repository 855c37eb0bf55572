#include "main_loop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace tonvera {

bool runMainLoopUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  QDeadlineTimer deadline(timeout);
  while (!condition()) {
    if (deadline.hasExpired()) return condition();
    // Process what is queued, then poll again: conditions are often set on other threads without an
    // event to wait for (the sleep only yields; nothing is timed by it).
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents();
    if (!QCoreApplication::instance()) return condition();
    QThread::msleep(1);
  }
  return true;
}

}  // namespace tonvera
