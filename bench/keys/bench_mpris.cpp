// The sound menu's PlayPause to the media-key event the window acts on: a call from a second
// connection through a private dbus-daemon, until the tap's delegate has the key-down.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include "keys/spmediakeytap.h"
#include "platform/userdefaults.h"

namespace {

struct CountingDelegate : tonvera::SPMediaKeyTap::Delegate {
  int downs = 0;
  void mediaKeyTap(tonvera::SPMediaKeyTap*, const tonvera::MediaKeyEvent& e) override {
    downs += e.keyDown ? 1 : 0;
  }
};

void BM_PlayPauseRoundTrip(benchmark::State& state) {
  QProcess daemon;
  daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                               QStringLiteral("--print-address=1")});
  if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000)) {
    state.SkipWithError("no dbus-daemon");
    return;
  }
  const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
  qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
  QTemporaryDir home;
  tonvera::UserDefaults defaults((home.path() + QStringLiteral("/defaults.plist")).toStdString());
  CountingDelegate delegate;
  tonvera::SPMediaKeyTap tap(&delegate, defaults);
  if (!tap.startWatchingMediaKeys()) {
    state.SkipWithError("cannot take the bus name");
    return;
  }
  {
    QDBusConnection menu = QDBusConnection::connectToBus(address, QStringLiteral("menu"));
    const QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(tonvera::SPMediaKeyTap::kBusName), QStringLiteral("/org/mpris/MediaPlayer2"),
        QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("PlayPause"));
    for (auto _ : state) {
      const int before = delegate.downs;
      menu.send(call);
      QElapsedTimer timeout;
      timeout.start();
      while (delegate.downs == before && timeout.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
      }
    }
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("menu"));
  tap.stopWatchingMediaKeys();
  daemon.kill();
  daemon.waitForFinished(2000);
}
BENCHMARK(BM_PlayPauseRoundTrip)->Unit(benchmark::kMicrosecond)->Iterations(500);

}  // namespace
