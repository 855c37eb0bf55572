// The player side of the now-playing controller: the player's lifecycle, its state changes, the
// progress tick, the waiting watchdog, seeking, and play/pause.
#include <QObject>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <utility>

#include "platform/mainqueue.h"
#include "platform/notificationcenter.h"
#include "radio/mainpage.h"
#include "radio/mainviewcontroller.h"
#include "radio/progresstexts.h"
#include "records/tnsong.h"

namespace tonvera {

void MainViewController::createStreamer() { createStreamer(nullptr); }

void MainViewController::createStreamer(std::shared_ptr<const HeldStream> head) {
  destroyStreamer();
  if (options_.makePlayer) {
    streamer_ = options_.makePlayer(dataUrl_);
  } else {
    streamer_ = head ? makeRadioPlayer(std::move(head), options_.player) : makeRadioPlayer(dataUrl_, options_.player);
  }
  if (!streamer_) return;
  ++trackSerial_;
  waitingSince_.reset();
  progressUpdateTimer_ = new QTimer(context_.get());  // owned by context_; deleted in destroyStreamer
  QObject::connect(progressUpdateTimer_, &QTimer::timeout, context_.get(), [this] { updateProgress(); });
  followProgress();
  waitingTimer_ = new QTimer(context_.get());  // owned by context_; deleted in destroyStreamer
  waitingTimer_->setSingleShot(true);
  QObject::connect(waitingTimer_, &QTimer::timeout, context_.get(), [this] { checkWaiting(); });
  armWaitingCheck(options_.waitingGiveUp);
  RadioPlayer* player = streamer_.get();
  streamerObserver_ = ScopedObserver(NotificationCenter::defaultCenter(), kASStatusChangedNotification,
                                     player->notificationSender(),
                                     [this, player, alive = aliveToken()](const Notification&) {
                                       auto handle = [this, player] {
                                         if (streamer_.get() == player) playbackStateChanged();
                                       };
                                       if (isMainThread())
                                         handle();
                                       else
                                         runOnMain(guarded(alive, handle));
                                     });
}

void MainViewController::destroyStreamer() {
  if (!streamer_) return;
  streamerObserver_.reset();
  delete progressUpdateTimer_;
  progressUpdateTimer_ = nullptr;
  if (prefetchTimer_) prefetchTimer_->stop();
  delete waitingTimer_;
  waitingTimer_ = nullptr;
  waitingSince_.reset();
  std::unique_ptr<RadioPlayer> player = std::move(streamer_);
  player->stop();
  // The player may be the one whose notification is being delivered right now: let it go on a
  // later turn of the main loop instead of under its own feet. When the controller itself goes,
  // it goes at once.
  if (alive_) {
    runOnMain([doomed = std::shared_ptr<RadioPlayer>(std::move(player))] {});
  }
}

void MainViewController::playbackStateChanged() {
  if (!streamer_) return;
  if (hooks_.playerStateChanged) hooks_.playerStateChanged(streamer_->state());
  noteWaiting();
  // A track shorter than the player's start count is heard while its player already finishes
  // (playing out what it queued at the end of the stream): it shows as playing all the same.
  const bool playingOut = streamer_->state() == StreamerState::Stopping &&
                          streamer_->errorCode() == StreamerError::None && streamer_->isWaiting();
  if (streamer_->isWaiting() && !playingOut) return;
  if (streamer_->isPlaying() || playingOut) {
    page_.playButtonSetOn(false);
    slideValue_ = 0;
    // Sound: the queue request that led here worked, so the next empty or failing one starts
    // again from the shortest pause; so does the next network failure.
    playedSinceQueue_ = true;
    retry_.reset();
    schedulePrefetch();
    networkRetry_.reset();
    replayedAfterOutage_ = false;
  } else if (streamer_->isIdle()) {
    // The stream lost for longer than the player waits is a network failure, not a bad track: the
    // track is held until the service answers, then played on from where it was heard. A second
    // loss right after the service answered is the stream's own fault, and it is skipped.
    const bool networkLost = streamer_->errorCode() == StreamerError::NetworkConnectionFailed &&
                             !replayedAfterOutage_ && curSong_ && curSong_->trackId();
    const double heard = networkLost ? std::max(0.0, streamer_->progress()) : 0.0;
    destroyStreamer();
    page_.playButtonSetOn(true);
    if (networkLost) {
      holdForNetwork(*curSong_->trackId(), heard);
      return;
    }
    replayedAfterOutage_ = false;
    nextTrack(Sender::reason(skipreason::kPlaybackStateChanged));
  } else if (streamer_->isPaused()) {
    page_.playButtonSetOn(true);
  }
}

void MainViewController::checkStatus() {
  if (streamer_ && streamer_->isWaiting()) {
    destroyStreamer();
    nextTrack(Sender::reason(skipreason::kWaitingTimeout));
  }
}

void MainViewController::noteWaiting() {
  if (!streamer_ || !waitingTimer_) return;
  if (!streamer_->isWaiting()) {
    waitingSince_.reset();
    return;
  }
  if (waitingSince_) return;
  waitingSince_ = now();
  armWaitingCheck(options_.waitingGiveUp);
}

void MainViewController::armWaitingCheck(Millis after) {
  if (waitingTimer_) waitingTimer_->start(std::max(after, Millis(1)));
}

// The waiting watchdog. A player that keeps waiting (no data, endless buffering, a finish that
// never ends) is given up after a while; the player's own data-stall watchdog has had its chance
// by then. A wait starts with the player's announcement of its state (noteWaiting), which arms
// this check for the moment the wait would be too long. Between waits the check comes back once
// per give-up time, so that a wait the player could not announce (an error recorded in a state it
// keeps) is given up all the same, at most one give-up time later. Neither needs a periodic tick,
// so the watchdog costs nothing while the page is hidden.
void MainViewController::checkWaiting() {
  if (!streamer_) return;
  noteWaiting();
  if (!waitingSince_) {
    armWaitingCheck(options_.waitingGiveUp);
    return;
  }
  const auto waited = now() - *waitingSince_;
  if (waited > options_.waitingGiveUp) {
    checkStatus();
    return;
  }
  armWaitingCheck(std::chrono::duration_cast<Millis>(options_.waitingGiveUp - waited) + Millis(1));
}

void MainViewController::updateProgress() {
  if (!streamer_) return;
  // A wait the player did not announce is noticed here as well while the tick runs.
  noteWaiting();
  checkPrefetch(false);

  ProgressInput in;
  in.bitRate = streamer_->bitRate();
  in.progress = streamer_->progress();
  in.duration = streamer_->duration();
  in.sliderDown = page_.sliderIsDown();
  in.sliderProgress = in.sliderDown ? page_.sliderGetProgress() : 0;
  in.slideValue = slideValue_;
  const ProgressOutput out = computeProgress(in);
  // The lyrics line follows playback also while hidden: it is shown outside the window too.
  if (out.lyricsTimestamp) {
    page_.lrcSetTimestamp(*out.lyricsTimestamp);
    page_.lrcDisplay();
  }
  if (!progressShown_) {
    // Nobody looks: the page is brought up to date when it shows again. The lyrics tick is set
    // for the next line.
    followProgress();
    return;
  }
  if (out.readout) {
    page_.readoutSetString(*out.readout);
    page_.readoutDisplay();
  }
  if (out.positionText) page_.setPositionText(*out.positionText);
  if (out.sliderPercent) page_.sliderSetProgress(*out.sliderPercent);
}

void MainViewController::setProgressShown(bool shown) {
  if (shown == progressShown_) return;
  progressShown_ = shown;
  followProgress();
  if (shown && progressUpdateTimer_) updateProgress();
  if (shown && std::exchange(picturesWaiting_, false) && curSong_) requestPictures(curSong_);
}

// On screen the page ticks every progressInterval. Hidden, nobody looks at it: the tick stops,
// unless a timed lyrics line is shown outside the window, which is moved on when the next line is
// due (most ticks of a steady one would find the same line).
void MainViewController::followProgress() {
  if (!progressUpdateTimer_) return;
  if (progressShown_) {
    progressUpdateTimer_->setInterval(options_.progressInterval);
  } else if (page_.lrcShownOutside()) {
    // Restarts a running tick: it counts from now.
    progressUpdateTimer_->setInterval(hiddenLyricsDelay());
  } else {
    progressUpdateTimer_->stop();
    return;
  }
  if (!progressUpdateTimer_->isActive()) progressUpdateTimer_->start();
}

MainViewController::Millis MainViewController::hiddenLyricsDelay() {
  if (!streamer_ || !streamer_->isPlaying()) return options_.hiddenLyricsInterval;
  const double at = streamer_->progress();
  if (at < 0) return options_.hiddenLyricsInterval;
  const std::optional<double> next = page_.lrcNextLineTime(at);
  if (!next) return options_.hiddenLyricsLongestWait;
  // A little after the line's time, so that the tick finds it due.
  const auto delay = Millis(static_cast<long long>(std::ceil((*next - at) * 1000.0)) + 20);
  return std::clamp(delay, Millis(1), options_.hiddenLyricsLongestWait);
}

bool MainViewController::progressTimerActive() const {
  return progressUpdateTimer_ != nullptr && progressUpdateTimer_->isActive();
}

int MainViewController::progressTimerInterval() const {
  return progressUpdateTimer_ != nullptr ? progressUpdateTimer_->interval() : 0;
}

void MainViewController::sliderMoved() {
  page_.readoutSetColor(readoutColorFor(page_.sliderIsDown(), page_.sliderIsEntered()));
  if (!page_.sliderIsSeek()) return;
  seekToPercent(page_.sliderGetProgress());
}

bool MainViewController::seekToPercent(double percent) {
  // Dragging past the bar's ends reports values outside 0..100; the seek stays inside the track.
  percent = std::clamp(percent, 0.0, 100.0);
  bool sought = false;
  if (streamer_) {
    const double duration = streamer_->duration();
    if (duration > 0) {
      streamer_->seekToTime(percent / 100.0 * duration);
      sought = true;
      // Hidden, the lyrics tick was set for the line after the old position: it comes at the
      // usual interval instead until the player has taken the seek up.
      if (!progressShown_ && progressUpdateTimer_ && progressUpdateTimer_->isActive()) {
        progressUpdateTimer_->setInterval(options_.hiddenLyricsInterval);
      }
    }
  }
  slideValue_ = percent;
  return sought;
}

void MainViewController::buttonPressed() {
  if (!streamer_ || streamer_->state() != StreamerState::Playing) {
    if (dataUrl_.empty()) return;
    ++networkTicket_;  // the listener restarts the track: a hold for the network ends
    networkHeld_ = false;
    createStreamer();
    if (streamer_) streamer_->start();
  } else {
    streamer_->pause();
  }
}

}  // namespace tonvera
