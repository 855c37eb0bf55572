#include "keys/mpris.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <cctype>

#include "keys/spmediakeytap.h"
#include "platform/log.h"

namespace tonvera {
namespace {

constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";

// A track id as an object path: letters, digits and underscores only.
QDBusObjectPath trackPath(const std::string& id) {
  QString path = QStringLiteral("/org/tonvera/track/");
  if (id.empty()) return QDBusObjectPath(QStringLiteral("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
  for (const unsigned char c : id) {
    path += std::isalnum(c) ? QChar(c) : QChar(u'_');
  }
  return QDBusObjectPath(path);
}

}  // namespace

MprisService::MprisService(SPMediaKeyTap& tap) : tap_(tap) {
  new MprisRootAdaptor(this);
  new MprisPlayerAdaptor(this);
}

MprisService::~MprisService() {
  if (registered_) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    bus.unregisterService(QString::fromLatin1(SPMediaKeyTap::kBusName));
  }
}

bool MprisService::registerOnBus() {
  QDBusConnection bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) {
    log("media keys: no session bus; the keys work in the window only");
    return false;
  }
  if (!bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors)) {
    log("media keys: cannot export %s", kObjectPath);
    return false;
  }
  if (!bus.registerService(QString::fromLatin1(SPMediaKeyTap::kBusName))) {
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    log("media keys: the bus name %s is taken", SPMediaKeyTap::kBusName);
    return false;
  }
  registered_ = true;
  return true;
}

QString MprisService::playbackStatus() const {
  switch (tap_.playbackStatus()) {
    case PlaybackStatus::Playing:
      return QStringLiteral("Playing");
    case PlaybackStatus::Paused:
      return QStringLiteral("Paused");
    case PlaybackStatus::Stopped:
      break;
  }
  return QStringLiteral("Stopped");
}

QVariantMap MprisService::metadata() const {
  const NowPlayingInfo& info = tap_.nowPlaying();
  QVariantMap map;
  map.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackPath(info.trackId)));
  if (info.trackId.empty()) return map;
  map.insert(QStringLiteral("xesam:title"), QString::fromStdString(info.title));
  QStringList artists;
  for (const auto& a : info.artists) artists << QString::fromStdString(a);
  map.insert(QStringLiteral("xesam:artist"), artists);
  map.insert(QStringLiteral("xesam:album"), QString::fromStdString(info.album));
  if (!info.artUrl.empty()) map.insert(QStringLiteral("mpris:artUrl"), QString::fromStdString(info.artUrl));
  if (info.lengthUs > 0) map.insert(QStringLiteral("mpris:length"), static_cast<qlonglong>(info.lengthUs));
  return map;
}

void MprisService::announce(const QStringList& names) {
  if (!registered_) return;
  QVariantMap changed;
  for (const QString& name : names) {
    if (name == QLatin1String("PlaybackStatus")) changed.insert(name, playbackStatus());
    if (name == QLatin1String("Metadata")) changed.insert(name, metadata());
  }
  QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                   QStringLiteral("org.freedesktop.DBus.Properties"),
                                                   QStringLiteral("PropertiesChanged"));
  signal << QString::fromLatin1(kPlayerInterface) << changed << QStringList();
  QDBusConnection::sessionBus().send(signal);
}

void MprisService::press(int keyCode) {
  // A key press as the keyboard makes it: down, then up (which the delegate ignores).
  tap_.handleAndReleaseMediaKeyEvent(MediaKeyEvent{keyCode, true, false});
  tap_.handleAndReleaseMediaKeyEvent(MediaKeyEvent{keyCode, false, false});
}

MprisRootAdaptor::MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service) {}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {
  setAutoRelaySignals(false);
}

void MprisPlayerAdaptor::PlayPause() { service_->press(MediaKeyEvent::kPlayPause); }
void MprisPlayerAdaptor::Next() { service_->press(MediaKeyEvent::kFastForward); }
void MprisPlayerAdaptor::Previous() { service_->press(MediaKeyEvent::kRewind); }

// The program has one play/pause toggle: Play, Pause and Stop press it only when it would do what
// they ask.
void MprisPlayerAdaptor::Play() {
  if (service_->tap().playbackStatus() != PlaybackStatus::Playing) service_->press(MediaKeyEvent::kPlayPause);
}
void MprisPlayerAdaptor::Pause() {
  if (service_->tap().playbackStatus() == PlaybackStatus::Playing) service_->press(MediaKeyEvent::kPlayPause);
}
void MprisPlayerAdaptor::Stop() { Pause(); }

}  // namespace tonvera
