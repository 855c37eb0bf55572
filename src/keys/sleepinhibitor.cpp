#include "keys/sleepinhibitor.h"

#include <QDBusConnection>
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
constexpr std::uint32_t kInhibitSuspend = 4;  // the portal's flag for suspend alone

QDBusMessage inhibitCall(bool portal) {
  if (portal) {
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, QStringLiteral("/org/freedesktop/portal/desktop"),
                                                       QStringLiteral("org.freedesktop.portal.Inhibit"),
                                                       QStringLiteral("Inhibit"));
    call << QString() << kInhibitSuspend << QVariantMap{{QStringLiteral("reason"), kReason}};
    return call;
  }
  QDBusMessage call = QDBusMessage::createMethodCall(kScreenSaverService, QStringLiteral("/org/freedesktop/ScreenSaver"),
                                                     kScreenSaverService, QStringLiteral("Inhibit"));
  call << QStringLiteral("Tonvera") << kReason;
  return call;
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
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;
  asking_ = true;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(inhibitCall(via == Via::Portal)), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, via](QDBusPendingCallWatcher* w) {
    w->deleteLater();
    asking_ = false;
    if (via == Via::Portal) {
      const QDBusPendingReply<QDBusObjectPath> reply = *w;
      if (reply.isValid()) return granted(via, reply.value().path(), 0);
      return request(Via::ScreenSaver);
    }
    const QDBusPendingReply<std::uint32_t> reply = *w;
    if (reply.isValid()) return granted(via, QString(), reply.value());
    if (!reportedMissing_) {
      reportedMissing_ = true;
      log(lcKeys, "sleep: the desktop offers no way to keep the machine awake while music plays (%s)",
          qPrintable(reply.error().message()));
    }
  });
}

void SleepInhibitor::granted(Via via, const QString& portalRequest, std::uint32_t cookie) {
  via_ = via;
  portalRequest_ = portalRequest;
  cookie_ = cookie;
  logDebug(lcKeys, "sleep: held off through %s", via == Via::Portal ? "the portal" : "the screen saver");
  if (!playing_) release();  // paused while asking
}

void SleepInhibitor::release() {
  if (via_ == Via::None) return;
  QDBusMessage call =
      via_ == Via::Portal
          ? QDBusMessage::createMethodCall(kPortalService, portalRequest_, QStringLiteral("org.freedesktop.portal.Request"),
                                           QStringLiteral("Close"))
          : QDBusMessage::createMethodCall(kScreenSaverService, QStringLiteral("/org/freedesktop/ScreenSaver"),
                                           kScreenSaverService, QStringLiteral("UnInhibit"));
  if (via_ == Via::ScreenSaver) call << cookie_;
  QDBusConnection::sessionBus().send(call);  // no answer needed; it goes out at once
  via_ = Via::None;
  portalRequest_.clear();
  logDebug(lcKeys, "sleep: allowed again");
}

}  // namespace tonvera
