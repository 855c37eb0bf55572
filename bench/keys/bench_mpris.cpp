// The sound menu's PlayPause to the media-key event the window acts on: a call from a second
// connection through a private dbus-daemon, until the tap's delegate has the key-down
// (BM_PlayPauseRoundTrip); and on to the state change coming back to the menu: the delegate
// toggles the playback state as the radio's player reports it, and the menu waits for the
// PropertiesChanged that carries it (BM_PlayPauseToStateChange).
#include <benchmark/benchmark.h>

#include <functional>

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

// A dbus-daemon of the benchmark's own, ended with it.
struct PrivateBus {
  QProcess daemon;
  QString address;
  PrivateBus() {
    daemon.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                 QStringLiteral("--print-address=1")});
    if (daemon.waitForStarted(5000) && daemon.waitForReadyRead(5000))
      address = QString::fromUtf8(daemon.readLine()).trimmed();
  }
  ~PrivateBus() {
    daemon.kill();
    daemon.waitForFinished(2000);
  }
  bool started() const { return !address.isEmpty(); }
};

struct CountingDelegate : tonvera::SPMediaKeyTap::Delegate {
  int downs = 0;
  void mediaKeyTap(tonvera::SPMediaKeyTap*, const tonvera::MediaKeyEvent& e) override {
    downs += e.keyDown ? 1 : 0;
  }
};

// Sends PlayPause from the menu's connection once per iteration and waits (at most 5 s) until
// `count` moves.
void timePlayPause(benchmark::State& state, QDBusConnection& menu, const std::function<int()>& count) {
  const QDBusMessage call = QDBusMessage::createMethodCall(
      QString::fromLatin1(tonvera::SPMediaKeyTap::kBusName), QStringLiteral("/org/mpris/MediaPlayer2"),
      QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("PlayPause"));
  for (auto _ : state) {
    const int before = count();
    menu.send(call);
    QElapsedTimer timeout;
    timeout.start();
    while (count() == before && timeout.elapsed() < 5000) {
      QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
    }
  }
}

void BM_PlayPauseRoundTrip(benchmark::State& state) {
  PrivateBus bus;
  if (!bus.started()) {
    state.SkipWithError("no dbus-daemon");
    return;
  }
  const QString& address = bus.address;
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
    timePlayPause(state, menu, [&] { return delegate.downs; });
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("menu"));
  tap.stopWatchingMediaKeys();
}
BENCHMARK(BM_PlayPauseRoundTrip)->Unit(benchmark::kMicrosecond)->Iterations(500);

// The player's side: each key-down flips the state, as the radio's pause and resume do.
struct TogglingDelegate : tonvera::SPMediaKeyTap::Delegate {
  void mediaKeyTap(tonvera::SPMediaKeyTap* tap, const tonvera::MediaKeyEvent& e) override {
    if (!e.keyDown) return;
    tap->setPlaybackStatus(tap->playbackStatus() == tonvera::PlaybackStatus::Playing
                               ? tonvera::PlaybackStatus::Paused
                               : tonvera::PlaybackStatus::Playing);
  }
};

class StateWatcher : public QObject {
  Q_OBJECT
 public:
  int changes = 0;
 public Q_SLOTS:
  void onPropertiesChanged(const QString&, const QVariantMap& changed, const QStringList&) {
    changes += changed.contains(QStringLiteral("PlaybackStatus")) ? 1 : 0;
  }
};

void BM_PlayPauseToStateChange(benchmark::State& state) {
  PrivateBus bus;
  if (!bus.started()) {
    state.SkipWithError("no dbus-daemon");
    return;
  }
  const QString& address = bus.address;
  QTemporaryDir home;
  tonvera::UserDefaults defaults((home.path() + QStringLiteral("/defaults.plist")).toStdString());
  TogglingDelegate delegate;
  tonvera::SPMediaKeyTap tap(&delegate, defaults);
  // The program's side on its own connection to this daemon (the session bus of the process may
  // already be the first benchmark's, now gone).
  qputenv("DBUS_SESSION_BUS_ADDRESS", address.toUtf8());
  if (!tap.startWatchingMediaKeys()) {
    state.SkipWithError(
        "cannot take the bus name (the session bus is kept per process: run this benchmark alone)");
    return;
  }
  StateWatcher watcher;
  {
    QDBusConnection menu = QDBusConnection::connectToBus(address, QStringLiteral("menu2"));
    menu.connect(QString::fromLatin1(tonvera::SPMediaKeyTap::kBusName),
                 QStringLiteral("/org/mpris/MediaPlayer2"), QStringLiteral("org.freedesktop.DBus.Properties"),
                 QStringLiteral("PropertiesChanged"), &watcher,
                 SLOT(onPropertiesChanged(QString, QVariantMap, QStringList)));
    menu.call(QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/"),
                                             QStringLiteral("org.freedesktop.DBus"),
                                             QStringLiteral("GetId")));
    timePlayPause(state, menu, [&] { return watcher.changes; });
  }
  QDBusConnection::disconnectFromBus(QStringLiteral("menu2"));
  tap.stopWatchingMediaKeys();
}
BENCHMARK(BM_PlayPauseToStateChange)->Unit(benchmark::kMicrosecond)->Iterations(500);

}  // namespace

#include "bench_mpris.moc"
