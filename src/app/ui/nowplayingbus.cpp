#include "app/ui/nowplayingbus.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <cmath>
#include <optional>

#include "keys/spmediakeytap.h"
#include "platform/notificationcenter.h"
#include "radio/ui/nowplayingcontroller.h"
#include "records/picturecache.h"
#include "records/tnsong.h"
#include "taste/tnmanager.h"

namespace tonvera {
namespace {

// A seek is taken up by the player's thread a little later; until the player's position comes
// within this of the target, the target is the position shown (microseconds).
constexpr std::int64_t kSeekLandingUs = 1'500'000;
// While a seek is pending the player is looked at this often, so the seek is settled as soon as it
// lands whether or not anybody asks for the position meanwhile (a later question would otherwise
// find the player already past the landing window and get the target for ever); a seek that has not
// landed after kSeekGiveUpChecks looks gives way to the player's own position.
constexpr int kSeekCheckMs = 100;
constexpr int kSeekGiveUpChecks = 100;
// How often the player is asked for the track's length while it does not know it yet (a stream's
// length follows from its bit rate, estimated over the first packets).
constexpr int kLengthPollMs = 500;

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

// The cached album picture as a file URL; "" when the track has none on disk.
std::string coverUrlOf(const TNSong& song) {
  const auto id = song.albumId();
  const auto path = id ? pictureCachePath(PictureKind::Album, *id) : std::nullopt;
  if (!path || !QFileInfo::exists(QString::fromStdString(*path))) return {};
  return QUrl::fromLocalFile(QDir::cleanPath(QString::fromStdString(*path))).toString().toStdString();
}

// The feed's own state; a child of the tap, so its connections end with it.
class Feed : public QObject {
 public:
  Feed(NowPlayingController& page, SPMediaKeyTap& tap) : QObject(&tap), page_(&page), tap_(tap) {
    lengthPoll_.setInterval(kLengthPollMs);
    connect(&lengthPoll_, &QTimer::timeout, this, [this] { updateLength(); });
    seekCheck_.setInterval(kSeekCheckMs);
    connect(&seekCheck_, &QTimer::timeout, this, [this] {
      if (++seekChecks_ >= kSeekGiveUpChecks) pendingSeekUs_.reset();
      position();
      if (!pendingSeekUs_) seekCheck_.stop();
    });
  }

  void trackShown(const TNSong& song) {
    NowPlayingInfo info = infoOf(song);
    info.artUrl = coverUrlOf(song);
    lyricsOwned_ = false;  // the page still shows the last track's lyrics until the new ones come
    pendingSeekUs_.reset();
    seekCheck_.stop();
    tap_.setNowPlaying(info);
    lengthPoll_.start();
  }

  void playerStateChanged(StreamerState state) {
    tap_.setPlaybackStatus(statusOf(state));
    updateLength();
  }

  void lyricsSet() {
    lyricsOwned_ = true;
    tap_.setLyricsLine({});
  }

  void lyricsLineChanged(const QString& line) {
    if (lyricsOwned_) tap_.setLyricsLine(line.toStdString());
  }

  void albumCoverShown() {
    const auto& song = page_ ? page_->controller().curSong() : nullptr;
    if (!song) return;
    const std::string url = coverUrlOf(*song);
    if (url == tap_.nowPlaying().artUrl) return;
    NowPlayingInfo info = tap_.nowPlaying();
    info.artUrl = url;
    tap_.setNowPlaying(info);
  }

  std::int64_t position() {
    RadioPlayer* player = page_ ? page_->controller().streamer() : nullptr;
    if (player == nullptr) return 0;
    const double seconds = player->progress();
    const std::int64_t now = seconds > 0 ? static_cast<std::int64_t>(std::llround(seconds * 1e6)) : 0;
    if (pendingSeekUs_) {
      if (std::llabs(now - *pendingSeekUs_) > kSeekLandingUs) return *pendingSeekUs_;
      pendingSeekUs_.reset();
    }
    return now;
  }

  // The slider's seek, at the same share of the track.
  void seekTo(std::int64_t positionUs) {
    RadioPlayer* player = page_ ? page_->controller().streamer() : nullptr;
    if (player == nullptr || !(player->duration() > 0)) return;
    const double percent = positionUs / 1e6 / player->duration() * 100.0;
    if (!page_->controller().seekToPercent(percent)) return;
    pendingSeekUs_ = positionUs;
    seekChecks_ = 0;
    seekCheck_.start();
  }

 private:
  // The length the player knows, into the track's metadata (it makes the track seekable).
  void updateLength() {
    RadioPlayer* player = page_ ? page_->controller().streamer() : nullptr;
    if (player == nullptr) {
      lengthPoll_.stop();
      return;
    }
    const double duration = player->duration();
    if (!(duration > 0) || tap_.nowPlaying().trackId.empty()) return;
    lengthPoll_.stop();
    const auto lengthUs = static_cast<std::int64_t>(std::llround(duration * 1e6));
    if (lengthUs == tap_.nowPlaying().lengthUs) return;
    NowPlayingInfo info = tap_.nowPlaying();
    info.lengthUs = lengthUs;
    tap_.setNowPlaying(info);
  }

  QPointer<NowPlayingController> page_;
  SPMediaKeyTap& tap_;
  QTimer lengthPoll_;
  QTimer seekCheck_;  // runs while a seek is pending
  int seekChecks_ = 0;
  bool lyricsOwned_ = false;                   // the page's lyrics are the current track's
  std::optional<std::int64_t> pendingSeekUs_;  // a seek the player has not reached yet
};

}  // namespace

void feedMediaKeyTap(PageController& page, SPMediaKeyTap& tap) {
  auto* nowPlaying = dynamic_cast<NowPlayingController*>(&page);
  if (nowPlaying == nullptr) return;
  auto* feed = new Feed(*nowPlaying, tap);  // owned by the tap
  MainViewController::Hooks hooks;
  hooks.trackShown = [feed](const std::shared_ptr<TNSong>& song) {
    if (song) feed->trackShown(*song);
  };
  hooks.playerStateChanged = [feed](StreamerState state) { feed->playerStateChanged(state); };
  nowPlaying->setControllerHooks(std::move(hooks));
  QObject::connect(nowPlaying, &NowPlayingController::lyricsSet, feed, [feed] { feed->lyricsSet(); });
  QObject::connect(nowPlaying, &NowPlayingController::lyricsLineChanged, feed,
                   [feed](const QString& line) { feed->lyricsLineChanged(line); });
  QObject::connect(nowPlaying, &NowPlayingController::albumCoverShown, feed,
                   [feed] { feed->albumCoverShown(); });

  PlayerHooks player;
  player.seekTo = [feed](std::int64_t us) { feed->seekTo(us); };
  player.position = [feed] { return feed->position(); };
  tap.setPlayerHooks(std::move(player));

  // The like button toggles the track in the liked songs; the bus shows it as the rating.
  auto& center = NotificationCenter::defaultCenter();
  center.addObserver(
      "likeSong", nullptr,
      [&tap, page = QPointer<NowPlayingController>(nowPlaying)](const Notification&) {
        if (!page) return;
        if (const auto& song = page->controller().curSong()) {
          tap.setLiked(TNManager::sharedManager().isLove(*song));
        }
      },
      &tap);
  QObject::connect(&tap, &QObject::destroyed,
                   [&center, owner = static_cast<const void*>(&tap)] { center.removeObserversOf(owner); });
}

std::function<void()> likeTrackAction(PageController& page) {
  auto* nowPlaying = dynamic_cast<NowPlayingController*>(&page);
  if (nowPlaying == nullptr) return {};
  return [page = QPointer<NowPlayingController>(nowPlaying)] {
    if (page) page->controller().loveTrack();
  };
}

}  // namespace tonvera
