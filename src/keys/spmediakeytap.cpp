#include "keys/spmediakeytap.h"

#include <QCoreApplication>
#include <algorithm>

#include "keys/mpris.h"
#include "platform/userdefaults.h"

namespace tonvera {

SPMediaKeyTap::SPMediaKeyTap(Delegate* delegate, UserDefaults& defaults)
    : delegate_(delegate), defaults_(defaults) {}

SPMediaKeyTap::~SPMediaKeyTap() { stopWatchingMediaKeys(); }

bool SPMediaKeyTap::usesGlobalMediaKeyTap(UserDefaults& defaults) {
  return !defaults.boolForKey(kIgnoreMediaKeysKey);
}

std::vector<std::string> SPMediaKeyTap::defaultMediaKeyUserBundleIdentifiers() {
  return tonvera::defaultMediaKeyUserBundleIdentifiers();
}

bool SPMediaKeyTap::startWatchingMediaKeys() {
  stopWatchingMediaKeys();
  setShouldInterceptMediaKeyEvents(true);
  auto service = std::make_unique<MprisService>(*this);
  if (!service->registerOnBus()) return false;
  mpris_ = std::move(service);
  return true;
}

void SPMediaKeyTap::stopWatchingMediaKeys() { mpris_.reset(); }

bool SPMediaKeyTap::shouldInterceptMediaKeyEvents() const {
  std::lock_guard<std::mutex> guard(lock_);
  return shouldInterceptMediaKeyEvents_;
}

void SPMediaKeyTap::setShouldInterceptMediaKeyEvents(bool intercept) {
  std::lock_guard<std::mutex> guard(lock_);
  shouldInterceptMediaKeyEvents_ = intercept;
}

void SPMediaKeyTap::handleAndReleaseMediaKeyEvent(const MediaKeyEvent& event) {
  const bool isMediaKey = event.keyCode == MediaKeyEvent::kPlayPause ||
                          event.keyCode == MediaKeyEvent::kFastForward ||
                          event.keyCode == MediaKeyEvent::kRewind;
  if (isMediaKey && shouldInterceptMediaKeyEvents() && delegate_ != nullptr) {
    delegate_->mediaKeyTap(this, event);
  }
}

void SPMediaKeyTap::appIsNowFrontmost(const std::string& identifier, std::int64_t process) {
  const PlistValue::Array listed = defaults_.arrayForKey(kApplicationsNeedingMediaKeysKey);
  const bool isListed = std::any_of(listed.begin(), listed.end(), [&](const PlistValue& v) {
    return v.isString() && v.toString() == identifier;
  });
  if (!isListed) return;
  std::erase(mediaKeyAppList_, process);
  mediaKeyAppList_.insert(mediaKeyAppList_.begin(), process);
  mediaKeyAppListChanged();
}

void SPMediaKeyTap::appTerminated(std::int64_t process) {
  std::erase(mediaKeyAppList_, process);
  mediaKeyAppListChanged();
}

void SPMediaKeyTap::mediaKeyAppListChanged() {
  if (mediaKeyAppList_.empty()) return;  // the last setting stays
  setShouldInterceptMediaKeyEvents(mediaKeyAppList_.front() == QCoreApplication::applicationPid());
}

void SPMediaKeyTap::setPlaybackStatus(PlaybackStatus status) {
  if (status == status_) return;
  status_ = status;
  if (mpris_) mpris_->announce({QStringLiteral("PlaybackStatus")});
  Q_EMIT playbackStatusChanged();
}

void SPMediaKeyTap::setNowPlaying(const NowPlayingInfo& info) {
  const bool newTrack = info.trackId != info_.trackId;
  info_ = info;
  if (newTrack) positionUs_ = 0;
  if (mpris_) mpris_->announce({QStringLiteral("Metadata"), QStringLiteral("CanSeek")});
  if (newTrack) Q_EMIT trackChanged();
  Q_EMIT nowPlayingChanged();
}

void SPMediaKeyTap::setLyricsLine(const std::string& line) {
  if (line == info_.lyricsLine) return;
  info_.lyricsLine = line;
  if (mpris_) mpris_->announce({QStringLiteral("Metadata")});
  Q_EMIT nowPlayingChanged();
}

void SPMediaKeyTap::setLiked(bool liked) {
  if (liked == info_.liked) return;
  info_.liked = liked;
  if (mpris_) mpris_->announce({QStringLiteral("Metadata")});
  Q_EMIT nowPlayingChanged();
}

void SPMediaKeyTap::seeked(std::int64_t positionUs) {
  positionUs_ = positionUs;
  if (mpris_) mpris_->emitSeeked(positionUs);
}

void SPMediaKeyTap::setVolume(double volume) {
  volume = std::clamp(volume, 0.0, 1.0);
  if (volume == volume_) return;
  volume_ = volume;
  if (mpris_) mpris_->announce({QStringLiteral("Volume")});
}

void SPMediaKeyTap::setPlayerHooks(PlayerHooks hooks) {
  hooks_ = std::move(hooks);
  if (mpris_) mpris_->announce({QStringLiteral("CanSeek")});
}

void SPMediaKeyTap::setWindowHooks(std::function<void()> raise, std::function<void()> quit) {
  raise_ = std::move(raise);
  quit_ = std::move(quit);
  if (mpris_) mpris_->announceRoot({QStringLiteral("CanRaise"), QStringLiteral("CanQuit")});
}

}  // namespace tonvera
