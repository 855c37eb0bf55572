// tonvera: the window application. Registers the default settings, builds the window and the
// application delegate, and runs the event loop; the delegate does the rest. SIGINT and SIGTERM (a
// terminal's Ctrl+C, the session ending) quit through the normal shutdown, like 退出.
//
// One window per user: a second start raises the running window and exits (singleinstance.h). The
// window's place on screen is kept across runs (windowplace.h). Where the desktop has a tray, the
// program sits there too (trayicon.h) and, unless the preference says otherwise, closing the window
// hides it while the music plays on; 退出 in the tray's menu quits.
//
// --verbose: the debug lines of the log too (platform/log.h).
//
// TONVERA_STARTUP_PROBE=1: prints the wall-clock time (nanoseconds since 1970) at which the window
// was first painted on screen and quits (the start-up figure of bench/startup.sh).
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>

#include "app/ui/appdelegate.h"
#include "app/ui/desktoplyrics.h"
#include "app/ui/kkwindow.h"
#include "app/ui/nowplayingbus.h"
#include "app/ui/singleinstance.h"
#include "app/ui/trayicon.h"
#include "app/ui/windowplace.h"
#include "controls/navigator.h"
#include "keys/preferences.h"
#include "keys/sleepinhibitor.h"
#include "keys/songnotifier.h"
#include "platform/language.h"
#include "platform/log.h"
#include "platform/serialqueue.h"
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

// The signal handler only writes a byte; the event loop reads it and quits.
int gSignalFds[2] = {-1, -1};

extern "C" void onQuitSignal(int) {
  const char byte = 1;
  [[maybe_unused]] const ssize_t written = ::write(gSignalFds[0], &byte, 1);
}

void quitOnSignals(QObject* context) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, gSignalFds) != 0) {
    return;  // signals then end the program the default way
  }
  auto* notifier = new QSocketNotifier(gSignalFds[1], QSocketNotifier::Read, context);
  QObject::connect(notifier, &QSocketNotifier::activated, context, [] {
    char byte = 0;
    [[maybe_unused]] const ssize_t got = ::read(gSignalFds[1], &byte, 1);
    if (tonvera::PageNavigator* nav = tonvera::appNavigator()) nav->terminate();
  });
  struct sigaction action {};
  action.sa_handler = onQuitSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  // The program ends through 退出 (or a close without a tray), never because its last visible
  // window closed: in the tray the preferences window may be the only one on screen.
  QApplication::setQuitOnLastWindowClosed(false);
  QApplication::setApplicationName(QStringLiteral("Tonvera"));
  QApplication::setOrganizationDomain(QStringLiteral("tonvera.org"));
  QApplication::setDesktopFileName(QStringLiteral("org.tonvera.Tonvera"));
  if (QCoreApplication::arguments().contains(QStringLiteral("--verbose"))) tonvera::enableVerboseLog();

  const bool probing = qEnvironmentVariableIntValue("TONVERA_STARTUP_PROBE") == 1;
  tonvera::SingleInstance instance;
  if (!probing && !instance.start()) {
    std::fprintf(stderr, "tonvera: already running; its window was brought forward\n");
    return 0;
  }

  tonvera::UserDefaults& defaults = tonvera::UserDefaults::standard();
  tonvera::AppDelegate::registerDefaults(defaults);
  // The listener's language, before the first text is made.
  tonvera::useLanguage(tonvera::chosenLanguage(defaults));
  tonvera::KKWindow window;
  StartupProbe probe;
  if (probing) window.contentView()->installEventFilter(&probe);
  tonvera::restoreWindowPosition(window, defaults);
  tonvera::AppDelegate delegate(window, tonvera::AppDelegate::Options{});
  delegate.applicationDidFinishLaunching();
  quitOnSignals(&delegate);

  // The lyrics on the desktop, shown and unlocked from the window's menu and the tray's.
  std::unique_ptr<tonvera::DesktopLyrics> desktopLyrics =
      tonvera::makeDesktopLyrics(*delegate.controllers().front(), defaults);
  if (desktopLyrics) window.setMenuActions({desktopLyrics->showAction(), desktopLyrics->unlockAction()});

  // The desktop's ways in: a second start and the sound menu's Raise bring the window forward,
  // the sound menu's Quit quits like 退出.
  QObject::connect(&instance, &tonvera::SingleInstance::raiseRequested, &window,
                   [&window] { tonvera::bringWindowForward(window); });
  // A notification per song while the window is in the background.
  tonvera::SongNotifier notifier(defaults, [&window] { return window.isActiveWindow(); });
  if (tonvera::SPMediaKeyTap* tap = delegate.keyTap()) {
    tap->setWindowHooks([&window] { tonvera::bringWindowForward(window); },
                        [&delegate] { delegate.terminate(); });
    QObject::connect(tap, &tonvera::SPMediaKeyTap::trackChanged, &notifier,
                     [tap, &notifier] { notifier.songStarted(tap->nowPlaying()); });
  }
  // No suspend while the music plays (released on pause, stop and quit).
  tonvera::SleepInhibitor inhibitor;
  if (tonvera::SPMediaKeyTap* tap = delegate.keyTap()) {
    QObject::connect(tap, &tonvera::SPMediaKeyTap::playbackStatusChanged, &inhibitor, [tap, &inhibitor] {
      inhibitor.setPlaying(tap->playbackStatus() == tonvera::PlaybackStatus::Playing);
    });
  }
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &inhibitor, [&inhibitor] { inhibitor.setPlaying(false); });
  // The tray, where the desktop has one: its like is the page's like button on the track, and
  // closing the window leaves the music playing there while the preference says so.
  std::unique_ptr<tonvera::TrayIcon> tray;
  if (QSystemTrayIcon::isSystemTrayAvailable()) {
    const auto key = [&delegate](int code) {
      return [&delegate, code] { delegate.mediaKeyTap(tonvera::MediaKeyEvent{code, true, false}); };
    };
    tray = std::make_unique<tonvera::TrayIcon>(tonvera::TrayIcon::Actions{
        key(tonvera::MediaKeyEvent::kPlayPause), key(tonvera::MediaKeyEvent::kFastForward),
        tonvera::likeTrackAction(*delegate.controllers().front()),
        [&window] { tonvera::bringWindowForward(window); }, [&delegate] { delegate.terminate(); }});
    if (desktopLyrics) tray->addActions({desktopLyrics->showAction(), desktopLyrics->unlockAction()});
    tray->icon().show();
    if (tonvera::SPMediaKeyTap* tap = delegate.keyTap()) {
      QObject::connect(tap, &tonvera::SPMediaKeyTap::nowPlayingChanged, tray.get(),
                       [tap, &tray] { tray->setNowPlaying(tap->nowPlaying()); });
    }
    // The quit closes every window first and is called off if one stays: its own closes go through.
    window.setKeepRunningOnClose([&tray, &defaults, &delegate] {
      return !delegate.isTerminating() && tray && tray->icon().isVisible() &&
             QSystemTrayIcon::isSystemTrayAvailable() && tonvera::Preferences::closeToTray(defaults);
    });
  }
  QObject::connect(&app, &QCoreApplication::aboutToQuit, &window,
                   [&window, &defaults] { tonvera::saveWindowPosition(window, defaults); });
  const int status = QApplication::exec();
  tonvera::finishBackgroundWork(status);
  return status;
}
