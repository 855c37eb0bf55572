// The now-playing controller and the engine of the radio: it turns a channel into a queue of track
// ids, looks each track up, leaves out the tracks the listener does not want, plays the track with
// a stream player, moves on when a track ends or fails, and keeps its page (MainPage) in step with
// playback: texts, progress readout and slider, lyrics, cover pictures, play button, window title.
//
// Inputs arrive by notification on the default centre:
//   "STATIONChanged"  user info with one entry whose key, a decimal integer text, selects the action:
//                     "0" a channel record (play this channel), "1" a track record (play it next),
//                     "4" an array of track ids (replace the queue), "6" anything (the private
//                     channel), any other key: play the current channel again from a fresh list.
//   "PlayBackChanged" user info {"state": 1 previous, 2 play/pause, 3 next}.
//   "ASStatusChangedNotification" of the current player only.
// Settings: "kSelectStation" (the channel record last chosen, {"name": "私人电台"} for the private
// channel) and "enplay" (true: do not play English songs) in the user-defaults store.
//
// Requests to the service run in order on the controller's own serial queue "getNextTrackInfo"; the
// play queue (PlayQueue) is shared with it under its own lock. Pictures and lyrics come back on the
// main thread and are shown only while they belong to the current track.
//
// Threads: main thread only, for every operation, notification and callback. The destructor stops
// the player and drops every answer still on its way.
#pragma once

#include <QtGlobal>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/notificationcenter.h"
#include "platform/plist.h"
#include "radio/playqueue.h"
#include "radio/radioplayer.h"
#include "radio/retrybackoff.h"
#include "radio/trackprefetch.h"

class QImage;
class QObject;
class QTimer;

namespace tonvera {

class MainPage;
class SerialQueue;
class TNSong;
class UserDefaults;

// Notification names and settings keys the controller uses.
inline constexpr const char* kStationChangedNotification = "STATIONChanged";
inline constexpr const char* kPlayBackChangedNotification = "PlayBackChanged";
inline constexpr const char* kSelectStationKey = "kSelectStation";
inline constexpr const char* kEnplayKey = "enplay";
// The name that marks the private channel in a channel record.
inline constexpr const char* kPrivateChannelName = "私人电台";

// The reasons an advance logs (the sender texts of nextTrack).
namespace skipreason {
inline constexpr const char* kPlaybackStateChanged = "playbackStateChanged";
inline constexpr const char* kInsertTrack = "insert track";
inline constexpr const char* kTrackInfoError = "track info error";
inline constexpr const char* kFiltered = "老外的歌曲||song is hate";
inline constexpr const char* kDisgustTrack = "disgustTrack:";
inline constexpr const char* kMediaKey = "系统消息";
inline constexpr const char* kWaitingTimeout = "streamer waiting timeout";
}  // namespace skipreason

// The page's line when a queue ended without a track to play: every track of it was left out by
// the listener's settings (English songs, dislikes), or there was none to be had (an empty queue,
// lookups or streams that all failed).
// (Source texts of the translation; the page shows them translated.)
inline constexpr const char* kNoticeAllFiltered = QT_TRANSLATE_NOOP("MainViewController", "这个频道在当前设置下没有可播放的歌曲");
inline constexpr const char* kNoticeNothingToPlay = QT_TRANSLATE_NOOP("MainViewController", "暂时没有可播放的歌曲，稍后再试");

// Who asked for an advance: nobody (a queue replacement), a control the listener pressed (a page
// button, a terminal key; subject to the skip guard), or the program with a reason text.
struct Sender {
  enum class Kind { None, Control, Reason };
  Kind kind = Kind::None;
  std::string text;  // the reason, or the control's name

  static Sender none() { return {}; }
  static Sender control(std::string name = "button") { return {Kind::Control, std::move(name)}; }
  static Sender reason(std::string text) { return {Kind::Reason, std::move(text)}; }
  // The text of the advance's log line ("new queue" when nobody asked).
  std::string describe() const { return kind == Kind::None ? "new queue" : text; }
};

class MainViewController {
 public:
  using Clock = std::chrono::steady_clock;
  using Millis = std::chrono::milliseconds;

  struct Options {
    // Two control presses closer than this: the second is ignored.
    Millis skipGuard{1000};
    // Progress updates of the page while a player exists.
    Millis progressInterval{100};
    // The tick while the page is hidden and a timed lyrics line is shown outside the window, when
    // no line is due (not playing, or just after a seek); otherwise the tick comes when the next
    // line is due, and at the latest after hiddenLyricsLongestWait.
    Millis hiddenLyricsInterval{1000};
    Millis hiddenLyricsLongestWait{10000};
    // A player that waits (connecting, buffering, finishing) longer than this in a row is given up.
    Millis waitingGiveUp{45000};
    // Pause before asking again for a queue that failed or had nothing to play; doubles each time.
    Millis queueRetryInitial{2000};
    Millis queueRetryMaximum{60000};
    // While the service cannot be reached: pause before asking it again for the track held (the
    // one to look up, or the one whose stream was lost); doubles each time.
    Millis networkRetryInitial{1000};
    Millis networkRetryMaximum{10000};
    // When the page's controls are built after the start (configControl).
    Millis configControlDelay{3000};
    // The clock of the skip guard and the waiting watchdog.
    std::function<Clock::time_point()> now;
    // Makes the player of each track; makeRadioPlayer when empty.
    RadioPlayerFactory makePlayer;
    // The limits and clock of the players makeRadioPlayer makes.
    StreamerOptions player;
    // The settings store; UserDefaults::standard() when null.
    UserDefaults* defaults = nullptr;
    // Prefetch: once the current track has played this long, the next track that passes the
    // filters is looked up (looking at most prefetchLookAhead entries ahead) and the head of its
    // stream, at most prefetchBytes, is held, so that the advance starts it from memory. Off: every
    // track is looked up and connected to when it becomes current.
    bool prefetch = true;
    Millis prefetchDelay{1000};
    int prefetchLookAhead = 4;
    std::size_t prefetchBytes = kHeldStreamMaxBytes;
  };

  // Hooks for a host that follows the flow (the terminal radio, tests). All on the main thread.
  struct Hooks {
    std::function<void(const PlistValue& station)> channelChosen;         // the window title was set
    std::function<void(const std::shared_ptr<TNSong>& song)> trackShown;  // labels set, player starting
    std::function<void(const Sender& sender)> advanceRequested;   // every advance the guard let through
    std::function<void(StreamerState state)> playerStateChanged;  // current player's notifications
    std::function<void()> configControl;                          // the delayed control set-up
    std::function<void(const std::shared_ptr<TNSong>& song)> prefetched;  // the next track's head is held
    std::function<void(Millis pause)> queueRetryScheduled;  // a queue is asked for again after `pause`
  };

  explicit MainViewController(MainPage& page);
  MainViewController(MainPage& page, Options options);
  ~MainViewController();
  MainViewController(const MainViewController&) = delete;
  MainViewController& operator=(const MainViewController&) = delete;

  void setHooks(Hooks hooks);

  // Page loaded: index 0, then startWork.
  void awakeFromNib();
  // Observes "STATIONChanged" and "PlayBackChanged", starts the stored
  // (or default) channel, and schedules configControl.
  void startWork();

  // Channel change; without user info (nullptr) it plays `station` again, or the stored channel.
  void getStationInfo(const PlistValue* userInfo);
  void playLoveSimilar();
  void refreshTracks(std::optional<PlayQueue::TrackIds> tracks);
  void nextTrack(const Sender& sender);
  void preTrack(const Sender& sender);
  void onPause();
  // Play/pause that also restarts a finished track with a new player.
  void buttonPressed();
  void getNextTrackInfo();
  void showSong(const std::shared_ptr<TNSong>& song);
  void refreshUI();
  // Asks for the track's album and first artist's pictures (at once when cached).
  void requestPictures(const std::shared_ptr<TNSong>& song);
  void showLrc(const std::optional<std::string>& text, const std::shared_ptr<TNSong>& song);
  void showAlbumeCover(const QImage& image, const std::shared_ptr<TNSong>& song);
  void showArtistImage(const QImage& image, const std::shared_ptr<TNSong>& song);
  void createStreamer();
  void destroyStreamer();
  void playbackStateChanged();
  void updateProgress();
  void sliderMoved();
  // Seeks the player to `percent` (0..100, clamped) of the track, as the slider does when released;
  // nothing happens to the player while its length is unknown. False then (or without a player).
  bool seekToPercent(double percent);
  void playbackChange(const PlistValue& userInfo);
  // Gives up a player that is still waiting.
  void checkStatus();

  // Taste actions on the current track (the page's like and dislike buttons act on the track):
  // like toggles the track in the liked songs and posts "likeSong"; dislike toggles it in the
  // disliked songs, posts "hateSong" and skips it. False when there is no current track.
  bool loveTrack();
  bool disgustTrack();
  // The same on the current track's first artist: like toggles the artist in the liked artists and
  // posts "likeArtist"; dislike toggles it in the disliked artists, posts "hateArtist" and skips the
  // current track all the same. False when there is no current track.
  bool loveArtist();
  bool disgustArtist();

  // Whether the page is on screen. While it is not (window hidden or minimised), the progress timer
  // stops updating the page; playback and the waiting watchdog go on (the watchdog has no tick of
  // its own: it wakes when a wait the player announced would be too long). The tick itself stops,
  // unless a timed lyrics line is shown outside the window (the session bus, the tray): then it
  // moves that line on once a second. Shown again, the page is brought up to date at once.
  void setProgressShown(bool shown);
  bool progressShown() const { return progressShown_; }
  // Whether the progress timer runs, and at which interval (for tests).
  bool progressTimerActive() const;
  int progressTimerInterval() const;

  // State, for the page and for tests.
  const std::optional<PlistValue>& station() const { return station_; }
  void setStation(std::optional<PlistValue> station) { station_ = std::move(station); }
  // The track shown (and played): set when a looked-up track passes the filters, cleared when a
  // queue ends with nothing to play.
  const std::shared_ptr<TNSong>& curSong() const { return curSong_; }
  // The page's line while nothing plays ("" when none).
  const std::string& notice() const { return notice_; }
  RadioPlayer* streamer() const { return streamer_.get(); }
  const std::string& dataUrl() const { return dataUrl_; }
  double slideValue() const { return slideValue_; }
  PlayQueue& queue() { return queue_; }
  const PlayQueue& queue() const { return queue_; }
  int queueRetries() const { return retry_.retries(); }
  // What is held of the next track (for tests and benchmarks).
  const TrackPrefetch& prefetch() const { return prefetch_; }
  // Whether the radio holds a track while the service cannot be reached.
  bool waitingForNetwork() const { return networkHeld_; }

  // The window title for a channel name: "Tonvera音乐播放器--<name>".
  static std::string windowTitle(const std::string& channelName);

 private:
  Clock::time_point now() const;
  // True for a control press within the guard interval of the last accepted advance.
  bool heldBySkipGuard(const Sender& sender) const;
  UserDefaults& defaults() const;
  void storeStation(const PlistValue& station);
  void applyWindowTitle();
  void requestChannelQueue();
  void queueArrived(std::uint64_t generation, std::optional<PlayQueue::TrackIds> tracks);
  void scheduleQueueRetry(std::uint64_t generation);
  void queueUsedUp();
  void showNothingToPlay();
  void skipCurrent(const char* reason);
  // The service cannot be reached: instead of skipping, asks it again for track `id` after the
  // back-off, until it answers. `resumeAt` set: the current track's stream was lost at that
  // position, and it is played again from there once the service answers; unset: the track is
  // looked up and shown as usual.
  void holdForNetwork(const std::string& id, std::optional<double> resumeAt);
  void resumeTrack(double position);
  void playSong(const std::shared_ptr<TNSong>& song);
  // True when the listener does not want `song` now: English while "enplay" is set, or disliked.
  bool filteredOut(const TNSong& song) const;
  void createStreamer(std::shared_ptr<const HeldStream> head);
  // Prefetch of the next track (mainviewcontroller_prefetch.cpp).
  void schedulePrefetch();
  void startPrefetch();
  void lookAhead(std::int64_t steps, std::uint64_t generation);
  void lookedAhead(std::int64_t steps, std::uint64_t generation, const std::string& id,
                   const std::shared_ptr<TNSong>& song, bool found);
  void dropPrefetch();
  // Drops and starts the prefetch again when a filter changed under it: the English setting (read
  // on every progress tick), or, after a dislike, the track held is now disliked.
  void checkPrefetch(bool afterDislike);
  // The waiting watchdog: notes when the player's wait began (or that it ended), arms the check,
  // and gives the player up once the wait has lasted waitingGiveUp.
  void noteWaiting();
  void armWaitingCheck(Millis after);
  void checkWaiting();
  // The progress tick for the page's visibility and what it shows (see setProgressShown).
  void followProgress();
  // The hidden page's lyrics tick: until the next timed line is due.
  Millis hiddenLyricsDelay();
  // The controller's life token, for work that leaves the main thread: take it on the main thread
  // (alive_ is main-thread only; the destructor resets it) and hand it to guarded() from anywhere.
  std::weak_ptr<bool> aliveToken() const { return alive_; }
  // Wraps `task` so that it runs only while the controller whose token `alive` is lives.
  static std::function<void()> guarded(std::weak_ptr<bool> alive, std::function<void()> task);

  MainPage& page_;
  Options options_;
  Hooks hooks_;

  // main thread only
  std::optional<PlistValue> station_;
  // The private channel was started and no public channel picked since: refills ask for it again.
  bool privateChosen_ = false;
  std::shared_ptr<TNSong> curSong_;
  std::unique_ptr<RadioPlayer> streamer_;
  std::string dataUrl_;
  std::unique_ptr<QObject> context_;       // parent of the timers; queued calls die with it
  QTimer* progressUpdateTimer_ = nullptr;  // child of context_ while a player exists; stopped while hidden
  QTimer* waitingTimer_ = nullptr;         // the watchdog's single shot; child of context_ likewise
  std::optional<Clock::time_point> lastClickDate_;
  std::optional<Clock::time_point> waitingSince_;
  double slideValue_ = 0;
  bool progressShown_ = true;
  bool picturesWaiting_ = false;  // the current track's cached pictures wait for the page to show
  ScopedObserver stationObserver_;
  ScopedObserver playbackObserver_;
  ScopedObserver streamerObserver_;
  ScopedObserver hateObserver_;
  // Counts the players made; a prefetch timer belongs to the one it was set for.
  std::uint64_t trackSerial_ = 0;
  QTimer* prefetchTimer_ = nullptr;        // child of context_, made on the first use
  std::uint64_t prefetchTimerSerial_ = 0;  // the player the prefetch timer runs for
  TrackPrefetch prefetch_;
  // Stamps every channel choice: queue answers and retries of an earlier choice are dropped.
  std::uint64_t queueGeneration_ = 0;
  // Whether a track of the current queue has reached Playing since it arrived; a queue used up
  // without one (empty, every track filtered, or every stream failing) is asked for again only
  // after a pause.
  bool playedSinceQueue_ = false;
  int filteredSinceQueue_ = 0;  // tracks of the current queue the filters left out
  std::string notice_;          // the page's line while nothing plays ("" when none)
  bool retryPending_ = false;          // a queue request waits for its pause to pass
  std::uint64_t retryGeneration_ = 0;  // the channel choice it belongs to
  std::uint64_t retryTicket_ = 0;      // stamps the one retry that may still fire
  RetryBackoff retry_;
  // A network failure (the service or the stream unreachable) holds the track instead of skipping.
  RetryBackoff networkRetry_;
  bool networkHeld_ = false;
  std::uint64_t networkTicket_ = 0;   // bumped by every advance and channel choice: a hold ends
  bool replayedAfterOutage_ = false;  // the current player replays a track after the service answered
  std::shared_ptr<bool> alive_;       // answers on their way hold a weak reference (aliveToken())

  // shared with q_ under its own lock
  PlayQueue queue_;

  // last member: destroyed first, letting its tasks finish while everything above still exists
  std::unique_ptr<SerialQueue> q_;
};

}  // namespace tonvera
