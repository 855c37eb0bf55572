#include "platform/mainqueue.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QThread>

#include "platform/log.h"

// In a ThreadSanitizer build the hand-over through Qt's event queue is stated to the sanitizer:
// Debian's Qt is not instrumented, so the locks that order a posted task after its posting are
// invisible to it and every task would look like a race with the thread that posted it.
#if defined(__SANITIZE_THREAD__)
#define TONVERA_TSAN 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define TONVERA_TSAN 1
#endif
#endif
#ifdef TONVERA_TSAN
#include <memory>
extern "C" void __tsan_acquire(void* addr);
extern "C" void __tsan_release(void* addr);
#endif

namespace tonvera {

void runOnMain(std::function<void()> task) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) {
    log(lcPlatform, "runOnMain: no application object; task dropped");
    return;
  }
#ifdef TONVERA_TSAN
  auto handOver = std::make_shared<char>(0);
  task = [handOver, task = std::move(task)] {
    __tsan_acquire(handOver.get());
    task();
  };
  __tsan_release(handOver.get());
#endif
  QMetaObject::invokeMethod(app, std::move(task), Qt::QueuedConnection);
}

bool isMainThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app && QThread::currentThread() == app->thread();
}

}  // namespace tonvera
