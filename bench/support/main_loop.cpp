#include "support/main_loop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace tonvera {

bool runMainLoopUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  QDeadlineTimer deadline(timeout);
  while (!condition()) {
    if (deadline.hasExpired()) return condition();
    // Process what is queued, then wait briefly for more; 5 ms keeps polled conditions responsive.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    QCoreApplication::sendPostedEvents();
    if (!QCoreApplication::instance()) return condition();
    QThread::msleep(1);
  }
  return true;
}

}  // namespace tonvera
