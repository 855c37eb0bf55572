// tonvera: the window application. Registers the default settings, builds the window and the
// application delegate, and runs the event loop; the delegate does the rest.
//
// TONVERA_STARTUP_PROBE=1: prints the wall-clock time (nanoseconds since 1970) at which the window
// was first painted on screen and quits (the start-up figure of bench/startup.sh).
#include <QApplication>
#include <QEvent>
#include <QTimer>
#include <chrono>
#include <cstdio>

#include "app/ui/appdelegate.h"
#include "app/ui/kkwindow.h"
#include "platform/userdefaults.h"

namespace {

// Reports the first paint of the window, once.
class StartupProbe : public QObject {
 public:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (!done_ && event->type() == QEvent::Paint) {
      done_ = true;
      const auto now = std::chrono::system_clock::now().time_since_epoch();
      std::printf("shown %lld\n", static_cast<long long>(std::chrono::nanoseconds(now).count()));
      std::fflush(stdout);
      QTimer::singleShot(0, QCoreApplication::instance(), [] { QCoreApplication::quit(); });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  bool done_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tonvera"));
  QApplication::setOrganizationDomain(QStringLiteral("tonvera.org"));
  QApplication::setDesktopFileName(QStringLiteral("org.tonvera.Tonvera"));

  tonvera::AppDelegate::registerDefaults(tonvera::UserDefaults::standard());
  tonvera::KKWindow window;
  StartupProbe probe;
  const bool probing = qEnvironmentVariableIntValue("TONVERA_STARTUP_PROBE") == 1;
  if (probing) window.contentView()->installEventFilter(&probe);
  tonvera::AppDelegate delegate(window, tonvera::AppDelegate::Options{});
  delegate.applicationDidFinishLaunching();
  return QApplication::exec();
}
