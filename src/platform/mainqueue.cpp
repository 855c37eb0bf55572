#include "platform/mainqueue.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QThread>

#include "platform/log.h"

namespace tonvera {

void runOnMain(std::function<void()> task) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    log("runOnMain: no application object; task dropped");
    return;
  }
  QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

bool isMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

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
