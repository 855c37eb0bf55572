// The track side of the now-playing controller: looking the next track up, the two filters,
// showing and playing it, its lyrics and pictures, and the taste actions on it.
#include <QImage>
#include <QObject>
#include <QTimer>
#include <algorithm>

#include "platform/log.h"
#include "platform/mainqueue.h"
#include "platform/serialqueue.h"
#include "platform/userdefaults.h"
#include "radio/mainpage.h"
#include "radio/mainviewcontroller.h"
#include "radio/trackfilter.h"
#include "records/tnartist.h"
#include "records/tnsong.h"
#include "service/jsoncall.h"
#include "taste/tnmanager.h"

namespace tonvera {

void MainViewController::getNextTrackInfo() {
  if (streamer_) destroyStreamer();
  const std::uint64_t ticket = ++networkTicket_;
  networkHeld_ = false;
  replayedAfterOutage_ = false;
  auto song = TNSong::create();
  // Records looked up ahead while the previous track played stand in for the lookup.
  q_->async([this, song, ticket, ahead = prefetch_.lookedUp(), alive = aliveToken()]() mutable {
    const auto id = queue_.takeNextId();
    if (!id) {
      runOnMain(guarded(alive, [this] { queueUsedUp(); }));
      return;
    }
    const auto known =
        std::find_if(ahead.begin(), ahead.end(), [&](const auto& entry) { return entry.first == *id; });
    bool unreachable = false;
    const bool found =
        known != ahead.end() ? (song = known->second, true) : song->apcall(*id, &unreachable).has_value();
    runOnMain(guarded(alive, [this, song, found, unreachable, ticket, id = *id] {
      if (!found && unreachable && ticket == networkTicket_) {
        // Not a bad track: the service is away. The track waits for it instead of the queue
        // being skipped through.
        holdForNetwork(id, std::nullopt);
        return;
      }
      if (!found) {
        nextTrack(Sender::reason(skipreason::kTrackInfoError));
        return;
      }
      showSong(song);
    }));
  });
}

void MainViewController::skipCurrent(const char* reason) { nextTrack(Sender::reason(reason)); }

bool MainViewController::filteredOut(const TNSong& song) const {
  return shouldSkipTrack(song.Artist(), song.nameStr().value_or(std::string()),
                         defaults().boolForKey(kEnplayKey), TNManager::sharedManager().isHate(song));
}

void MainViewController::holdForNetwork(const std::string& id, std::optional<double> resumeAt) {
  networkHeld_ = true;
  const std::uint64_t ticket = networkTicket_;
  const Millis pause = networkRetry_.next();
  log(lcRadio, "network unreachable; asking for track %s again in %lld ms", id.c_str(),
      static_cast<long long>(pause.count()));
  QTimer::singleShot(pause, context_.get(), [this, id, resumeAt, ticket] {
    if (ticket != networkTicket_) return;
    auto song = TNSong::create();
    q_->async([this, id, song, resumeAt, ticket, alive = aliveToken()] {
      bool unreachable = false;
      const bool found = song->apcall(id, &unreachable).has_value();
      runOnMain(guarded(alive, [this, id, song, resumeAt, ticket, found, unreachable] {
        if (ticket != networkTicket_) return;
        if (!found && unreachable) {
          holdForNetwork(id, resumeAt);
          return;
        }
        networkHeld_ = false;
        if (!found) {
          nextTrack(Sender::reason(skipreason::kTrackInfoError));
        } else if (resumeAt) {
          resumeTrack(*resumeAt);
        } else {
          showSong(song);
        }
      }));
    });
  });
}

void MainViewController::resumeTrack(double position) {
  // The same track, from where it was heard, with a new player (the old one gave up).
  replayedAfterOutage_ = true;
  createStreamer();
  if (!streamer_) {
    skipCurrent(skipreason::kTrackInfoError);
    return;
  }
  streamer_->start();
  // Kept by the player until the stream's format and length are known; dropped without a length.
  if (position > 0) streamer_->seekToTime(position);
}

void MainViewController::showSong(const std::shared_ptr<TNSong>& song) {
  const std::string artistText = song->Artist();
  const std::string title = song->nameStr().value_or(std::string());
  if (filteredOut(*song)) {
    // Removing the entry steps the position back, so the advance lands on the entry after it. An
    // inserted track that stands outside the queue cannot be removed and is played after all.
    if (queue_.removeCurrent()) {
      ++filteredSinceQueue_;
      skipCurrent(skipreason::kFiltered);
      return;
    }
  }
  // Only a track that is shown becomes the current one: the taste buttons, the tray and the sound
  // menu act on what the listener sees and hears, never on a track the filters passed over.
  curSong_ = song;
  if (!notice_.empty()) {
    notice_.clear();
    page_.showNotice(notice_);
  }
  filteredSinceQueue_ = 0;
  page_.setArtistText(artistText);
  page_.setAlbumText(song->album().value_or(std::string()));
  page_.setTrackNameText(title);
  playSong(song);
}

void MainViewController::playSong(const std::shared_ptr<TNSong>& song) {
  const auto url = song->url();
  if (!url || url->empty()) {
    // Nothing to stream: moved on like a stream that failed.
    if (streamer_) destroyStreamer();
    skipCurrent(skipreason::kTrackInfoError);
    return;
  }
  dataUrl_ = JsonCall::percentEscape(*url);
  if (streamer_) destroyStreamer();
  // The head of this track's stream when it was fetched ahead; whatever else was prefetched is let
  // go now that the track changes.
  auto head = prefetch_.take(song, dataUrl_);
  dropPrefetch();
  createStreamer(std::move(head));
  if (hooks_.trackShown) hooks_.trackShown(song);
  if (!streamer_) {
    // No player can be made for this URL.
    skipCurrent(skipreason::kTrackInfoError);
    return;
  }
  streamer_->start();
  refreshUI();
}

void MainViewController::refreshUI() {
  if (!curSong_ || curSong_->refreshed()) return;
  auto song = curSong_;
  song->lrc(0, [this, alive = std::weak_ptr<bool>(alive_)](std::optional<std::string> text,
                                                           std::shared_ptr<TNSong> owner) {
    if (alive.lock()) showLrc(text, owner);
  });
  // While the page is hidden, pictures already in the cache are not decoded while nobody sees them:
  // they are loaded when it shows. Pictures not yet cached are fetched all the same, so that they are
  // in the cache for the desktop's sound menu and notifications.
  picturesWaiting_ = !progressShown_ && song->picturesAtHand(0);
  if (!picturesWaiting_) requestPictures(song);
  song->setRefreshed(true);
}

void MainViewController::requestPictures(const std::shared_ptr<TNSong>& song) {
  song->albumId([this, alive = std::weak_ptr<bool>(alive_)](std::optional<QImage> picture,
                                                            std::shared_ptr<TNSong> owner) {
    if (alive.lock()) showAlbumeCover(picture.value_or(QImage()), owner);
  });
  song->artistId(0, [this, alive = std::weak_ptr<bool>(alive_)](std::optional<QImage> picture,
                                                                std::shared_ptr<TNSong> owner) {
    if (alive.lock()) showArtistImage(picture.value_or(QImage()), owner);
  });
}

// Lyrics and pictures arrive whenever their requests finish; one that belongs to a track the
// listener has moved away from is dropped rather than shown with the wrong track.
void MainViewController::showLrc(const std::optional<std::string>& text,
                                 const std::shared_ptr<TNSong>& song) {
  if (!song || song != curSong_) return;
  page_.lrcSetLrc(text);
  page_.lrcProcess();
  page_.lrcDisplay();
  followProgress();  // timed lyrics may want the tick while the page is hidden
}

void MainViewController::showAlbumeCover(const QImage& image, const std::shared_ptr<TNSong>& song) {
  if (!song || song != curSong_) return;
  page_.refreshImage(image, false);
}

void MainViewController::showArtistImage(const QImage& image, const std::shared_ptr<TNSong>& song) {
  if (!song || song != curSong_) return;
  page_.refreshImage(image, true);
}

bool MainViewController::loveTrack() {
  if (!curSong_) return false;
  TNManager::sharedManager().likeSong(curSong_, true);
  return true;
}

bool MainViewController::disgustTrack() {
  if (!curSong_) return false;
  TNManager::sharedManager().hateSong(curSong_, true);
  if (queue_.removeCurrent()) skipCurrent(skipreason::kDisgustTrack);
  return true;
}

bool MainViewController::loveArtist() {
  if (!curSong_) return false;
  TNManager::sharedManager().likeArtist(curSong_->firstArtist(), true);
  return true;
}

bool MainViewController::disgustArtist() {
  if (!curSong_) return false;
  TNManager::sharedManager().hateArtist(curSong_->firstArtist(), true);
  // The artist is only recorded; the track that plays is skipped like a disliked track.
  if (queue_.removeCurrent()) skipCurrent(skipreason::kDisgustTrack);
  return true;
}

}  // namespace tonvera
