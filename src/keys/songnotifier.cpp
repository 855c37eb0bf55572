#include "keys/songnotifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QStringList>
#include <QUrl>

#include "platform/userdefaults.h"

namespace tonvera {

SongNotifier::SongNotifier(UserDefaults& defaults, std::function<bool()> windowActive, QObject* parent)
    : QObject(parent), defaults_(defaults), windowActive_(std::move(windowActive)) {}

bool SongNotifier::enabled(UserDefaults& defaults) { return Preferences::songNotifications(defaults); }

void SongNotifier::songStarted(const NowPlayingInfo& info) {
  if (info.trackId.empty() || !enabled(defaults_) || (windowActive_ && windowActive_())) return;
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return;

  QStringList artists;
  for (const auto& a : info.artists) artists << QString::fromStdString(a);
  QString body = artists.join(QStringLiteral(" / "));
  if (!info.album.empty())
    body += (body.isEmpty() ? QString() : QStringLiteral(" — ")) + QString::fromStdString(info.album);
  QVariantMap hints;
  hints.insert(QStringLiteral("desktop-entry"), QString::fromLatin1(SPMediaKeyTap::kOwnIdentifier));
  hints.insert(QStringLiteral("category"), QStringLiteral("x-tonvera.song"));
  hints.insert(QStringLiteral("transient"), true);  // not kept in the desktop's history
  const QUrl cover(QString::fromStdString(info.artUrl));
  if (cover.isLocalFile()) hints.insert(QStringLiteral("image-path"), cover.toLocalFile());

  QDBusMessage notify = QDBusMessage::createMethodCall(
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("/org/freedesktop/Notifications"),
      QStringLiteral("org.freedesktop.Notifications"), QStringLiteral("Notify"));
  notify << QStringLiteral("Tonvera") << id_ << QString::fromLatin1(SPMediaKeyTap::kOwnIdentifier)
         << QString::fromStdString(info.title) << body << QStringList() << hints << -1;
  auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(notify), this);
  connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
    const QDBusPendingReply<std::uint32_t> reply = *w;
    if (reply.isValid()) id_ = reply.value();  // the next song replaces this one
    w->deleteLater();
  });
}

}  // namespace tonvera
