#include "keys/mpris.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <algorithm>
#include <cctype>

#include "keys/spmediakeytap.h"
#include "platform/log.h"

namespace tonvera {
namespace {

constexpr const char* kObjectPath = "/org/mpris/MediaPlayer2";
constexpr const char* kPlayerInterface = "org.mpris.MediaPlayer2.Player";
constexpr const char* kRootInterface = "org.mpris.MediaPlayer2";

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
    log(lcKeys, "media keys: no session bus; the keys work in the window only");
    return false;
  }
  if (!bus.registerObject(QString::fromLatin1(kObjectPath), this, QDBusConnection::ExportAdaptors)) {
    log(lcKeys, "media keys: cannot export %s", kObjectPath);
    return false;
  }
  if (!bus.registerService(QString::fromLatin1(SPMediaKeyTap::kBusName))) {
    bus.unregisterObject(QString::fromLatin1(kObjectPath));
    log(lcKeys, "media keys: the bus name %s is taken", SPMediaKeyTap::kBusName);
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
  if (!info.lyricsLine.empty())
    map.insert(QStringLiteral("xesam:asText"), QString::fromStdString(info.lyricsLine));
  map.insert(QStringLiteral("xesam:userRating"), info.liked ? 1.0 : 0.0);
  return map;
}

bool MprisService::canSeek() const {
  return tap_.playerHooks().seekTo != nullptr && tap_.nowPlaying().lengthUs > 0;
}

void MprisService::sendPropertiesChanged(const char* interface, const QVariantMap& changed) {
  if (!registered_ || changed.isEmpty()) return;
  QDBusMessage signal = QDBusMessage::createSignal(QString::fromLatin1(kObjectPath),
                                                   QStringLiteral("org.freedesktop.DBus.Properties"),
                                                   QStringLiteral("PropertiesChanged"));
  signal << QString::fromLatin1(interface) << changed << QStringList();
  QDBusConnection::sessionBus().send(signal);
}

void MprisService::announce(const QStringList& names) {
  QVariantMap changed;
  for (const QString& name : names) {
    if (name == QLatin1String("PlaybackStatus")) changed.insert(name, playbackStatus());
    if (name == QLatin1String("Metadata")) changed.insert(name, metadata());
    if (name == QLatin1String("Volume")) changed.insert(name, tap_.volume());
    if (name == QLatin1String("CanSeek")) changed.insert(name, canSeek());
  }
  sendPropertiesChanged(kPlayerInterface, changed);
}

void MprisService::announceRoot(const QStringList& names) {
  QVariantMap changed;
  for (const QString& name : names) {
    if (name == QLatin1String("CanRaise")) changed.insert(name, tap_.raiseHook() != nullptr);
    if (name == QLatin1String("CanQuit")) changed.insert(name, tap_.quitHook() != nullptr);
  }
  sendPropertiesChanged(kRootInterface, changed);
}

void MprisService::emitSeeked(qlonglong positionUs) {
  if (!registered_) return;
  QDBusMessage signal = QDBusMessage::createSignal(
      QString::fromLatin1(kObjectPath), QString::fromLatin1(kPlayerInterface), QStringLiteral("Seeked"));
  signal << positionUs;
  QDBusConnection::sessionBus().send(signal);
}

void MprisService::seekTo(qlonglong positionUs) {
  if (!canSeek()) return;
  positionUs = std::clamp<qlonglong>(positionUs, 0, tap_.nowPlaying().lengthUs);
  tap_.playerHooks().seekTo(positionUs);
  tap_.seeked(positionUs);
}

// A player without a volume of its own stays at 1.0: the write is ignored rather than shown as a
// level that changes nothing.
void MprisService::setVolume(double volume) {
  if (!tap_.playerHooks().setVolume) return;
  volume = std::clamp(volume, 0.0, 1.0);
  tap_.playerHooks().setVolume(volume);
  tap_.setVolume(volume);
}

void MprisService::press(int keyCode) {
  // A key press as the keyboard makes it: down, then up (which the delegate ignores).
  tap_.handleAndReleaseMediaKeyEvent(MediaKeyEvent{keyCode, true, false});
  tap_.handleAndReleaseMediaKeyEvent(MediaKeyEvent{keyCode, false, false});
}

MprisRootAdaptor::MprisRootAdaptor(MprisService* service) : QDBusAbstractAdaptor(service), service_(service) {
  setAutoRelaySignals(false);
}

bool MprisRootAdaptor::canQuit() const { return service_->tap().quitHook() != nullptr; }
bool MprisRootAdaptor::canRaise() const { return service_->tap().raiseHook() != nullptr; }

// Both run after the reply is sent: quitting from inside the call would leave the caller waiting.
void MprisRootAdaptor::Raise() {
  if (auto raise = service_->tap().raiseHook()) QMetaObject::invokeMethod(this, raise, Qt::QueuedConnection);
}
void MprisRootAdaptor::Quit() {
  if (auto quit = service_->tap().quitHook()) QMetaObject::invokeMethod(this, quit, Qt::QueuedConnection);
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {
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

namespace tonvera {

double MprisPlayerAdaptor::volume() const { return service_->tap().volume(); }
qlonglong MprisPlayerAdaptor::position() const { return service_->tap().position(); }

// Past the end means the next song, before the start the start.
void MprisPlayerAdaptor::Seek(qlonglong offsetUs) {
  if (!service_->canSeek()) return;
  const qlonglong target = service_->tap().position() + offsetUs;
  if (target > service_->tap().nowPlaying().lengthUs) {
    Next();
    return;
  }
  service_->seekTo(target);
}

// Only for the track playing: a late request for the previous track is dropped.
void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& trackId, qlonglong positionUs) {
  if (trackId != trackPath(service_->tap().nowPlaying().trackId)) return;
  if (positionUs < 0 || positionUs > service_->tap().nowPlaying().lengthUs) return;
  service_->seekTo(positionUs);
}

}  // namespace tonvera
