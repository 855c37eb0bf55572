#include "app/ui/nowplayingbus.h"

#include "keys/spmediakeytap.h"
#include "platform/notificationcenter.h"
#include "radio/ui/nowplayingcontroller.h"
#include "records/tnsong.h"
#include "taste/tnmanager.h"

namespace tonvera {
namespace {

NowPlayingInfo infoOf(const TNSong& song) {
  NowPlayingInfo info;
  info.trackId = song.trackId().value_or("");
  info.title = song.nameStr().value_or("");
  info.album = song.album().value_or("");
  info.liked = TNManager::sharedManager().isLove(song);
  if (song.songInfo()) {
    if (auto it = song.songInfo()->find("artist"); it != song.songInfo()->end()) {
      for (const PlistValue& artist : it->second.array()) {
        if (const PlistValue* name = artist.find("name"); name != nullptr && name->isString()) {
          info.artists.push_back(name->toString());
        }
      }
    }
  }
  return info;
}

PlaybackStatus statusOf(StreamerState state) {
  switch (state) {
    case StreamerState::Paused:
      return PlaybackStatus::Paused;
    case StreamerState::Idle:
    case StreamerState::Stopped:
      return PlaybackStatus::Stopped;
    default:
      return PlaybackStatus::Playing;  // starting, waiting and buffering count as playing
  }
}

}  // namespace

void feedMediaKeyTap(PageController& page, SPMediaKeyTap& tap) {
  auto* nowPlaying = dynamic_cast<NowPlayingController*>(&page);
  if (nowPlaying == nullptr) return;
  MainViewController::Hooks hooks;
  hooks.trackShown = [&tap](const std::shared_ptr<TNSong>& song) {
    if (song) tap.setNowPlaying(infoOf(*song));
  };
  hooks.playerStateChanged = [&tap](StreamerState state) { tap.setPlaybackStatus(statusOf(state)); };
  nowPlaying->setControllerHooks(std::move(hooks));
  // The like button toggles the track in the liked songs; the bus shows it as the rating.
  auto& center = NotificationCenter::defaultCenter();
  center.addObserver(
      "likeSong", nullptr,
      [&tap, nowPlaying](const Notification&) {
        if (const auto& song = nowPlaying->controller().curSong()) {
          tap.setLiked(TNManager::sharedManager().isLove(*song));
        }
      },
      &tap);
  QObject::connect(&tap, &QObject::destroyed, [&center, owner = static_cast<const void*>(&tap)] {
    center.removeObserversOf(owner);
  });
}

}  // namespace tonvera
