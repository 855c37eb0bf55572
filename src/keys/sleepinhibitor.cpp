#include "keys/sleepinhibitor.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QVariantMap>

#include "platform/log.h"

namespace tonvera {

namespace {

const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString kScreenSaverService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kReason = QStringLiteral("音乐播放中 (music is playing)");
const QString kLogin1Service = QStringLiteral("org.freedesktop.login1");
constexpr std::uint32_t kInhibitSuspend = 4;  // the portal's flag for suspend alone

QDBusMessage call(const QString& service, const char* path, const QString& interface, const char* method) {
  return QDBusMessage::createMethodCall(service, QString::fromLatin1(path), interface,
                                        QString::fromLatin1(method));
}

}  // namespace

SleepInhibitor::SleepInhibitor(QObject* parent) : QObject(parent) {}

SleepInhibitor::~SleepInhibitor() { release(); }

void SleepInhibitor::setPlaying(bool playing) {
  playing_ = playing;
  if (!playing) {
    release();
  } else if (via_ == Via::None && !asking_) {
    request(Via::Portal);
  }
}

void SleepInhibitor::request(Via via) {
  QDBusConnection bus = via == Via::Login1 ? QDBusConnection::systemBus() : QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    if (via != Via::Login1) return request(Via::Login1);
    return reportMissing(bus.lastError().message());
  }
  QDBusMessage message;
  if (via == Via::Portal) {
    message = call(kPortalService, "/org/freedesktop/portal/desktop",
                   QStringLiteral("org.freedesktop.portal.Inhibit"), "Inhibit");
    message << QString() << kInhibitSuspend << QVariantMap{{QStringLiteral("reason"), kReason}};
  } else if (via == Via::ScreenSaver) {
    message = call(kScreenSaverService, "/org/freedesktop/ScreenSaver", kScreenSaverService, "Inhibit");
    message << QStringLiteral("Tonvera") << kReason;
  } else {
    message = call(kLogin1Service, "/org/freedesktop/login1",
                   QStringLiteral("org.freedesktop.login1.Manager"), "Inhibit");
    message << QStringLiteral("sleep") << QStringLiteral("Tonvera") << kReason << QStringLiteral("block");
  }
  asking_ = true;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, via](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    asking_ = false;
    if (via == Via::Portal) {
      const QDBusPendingReply<QDBusObjectPath> reply = *w;
      if (!reply.isValid()) return request(Via::ScreenSaver);
      portalRequest_ = reply.value().path();
    } else if (via == Via::ScreenSaver) {
      const QDBusPendingReply<std::uint32_t> reply = *w;
      if (!reply.isValid()) return request(Via::Login1);
      cookie_ = reply.value();
    } else {
      const QDBusPendingReply<QDBusUnixFileDescriptor> reply = *w;
      if (!reply.isValid() || !reply.value().isValid()) return reportMissing(reply.error().message());
      lock_ = reply.value();
    }
    granted(via);
  });
}

void SleepInhibitor::granted(Via via) {
  via_ = via;
  logDebug(lcKeys, "sleep: held off through %s",
           via == Via::Portal        ? "the portal"
           : via == Via::ScreenSaver ? "the screen saver"
                                     : "logind");
  if (!playing_) release();  // paused while asking
}

void SleepInhibitor::reportMissing(const QString& why) {
  if (reportedMissing_) return;
  reportedMissing_ = true;
  log(lcKeys, "sleep: the desktop offers no way to keep the machine awake while music plays (%s)",
      qPrintable(why));
}

void SleepInhibitor::release() {
  if (via_ == Via::None) return;
  if (via_ == Via::Login1) {
    lock_ = QDBusUnixFileDescriptor();  // closed: logind, watching the other end, lets go
  } else {
    // No answer needed; it goes out at once.
    QDBusMessage message =
        via_ == Via::Portal
            ? QDBusMessage::createMethodCall(kPortalService, portalRequest_,
                                             QStringLiteral("org.freedesktop.portal.Request"),
                                             QStringLiteral("Close"))
            : call(kScreenSaverService, "/org/freedesktop/ScreenSaver", kScreenSaverService, "UnInhibit");
    if (via_ == Via::ScreenSaver) message << cookie_;
    QDBusConnection::sessionBus().send(message);
  }
  via_ = Via::None;
  portalRequest_.clear();
  logDebug(lcKeys, "sleep: allowed again");
}

}  // namespace tonvera
