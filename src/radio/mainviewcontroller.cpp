// The channel side of the now-playing controller: start, channel choices, the private channel,
// queue replacement, advancing and going back, media keys.
#include "radio/mainviewcontroller.h"

#include <QCoreApplication>
#include <QObject>
#include <QTimer>
#include <charconv>

#include "platform/log.h"
#include "platform/mainqueue.h"
#include "platform/serialqueue.h"
#include "platform/userdefaults.h"
#include "radio/defaultstation.h"
#include "radio/mainpage.h"
#include "radio/progresstexts.h"
#include "records/recordfields.h"
#include "service/endpoints.h"
#include "service/jsoncall.h"
#include "taste/tnmanager.h"

namespace tonvera {

namespace {

const char* kQueueLabel = "getNextTrackInfo";

// The "tracks" of a queue reply as id texts; nothing when the reply is not an object. An object
// without "tracks" (or with a non-array) gives an empty queue.
std::optional<PlayQueue::TrackIds> tracksOf(const std::optional<JsonValue>& reply) {
  if (!reply || !reply->isObject()) return std::nullopt;
  PlayQueue::TrackIds ids;
  for (const auto& entry : (*reply)["tracks"].array()) ids.push_back(entry.toText());
  return ids;
}

// The record stored under "kSelectStation" while the private channel plays.
PlistValue privateStation() { return PlistValue(PlistValue::Dict{{"name", PlistValue(kPrivateChannelName)}}); }

std::string nameOf(const PlistValue& station) {
  const PlistValue* name = station.find("name");
  return name ? name->toString() : std::string();
}

// An id member as the text that goes into request paths ("" when absent or of another type).
std::string idOf(const PlistValue* id) { return idText(id).value_or(std::string()); }

// The action number of a "STATIONChanged" key: a decimal integer text. Anything else acts as an
// unknown number (the current channel again).
std::int64_t actionOf(const std::string& key) {
  std::int64_t n = -1;
  const char* end = key.data() + key.size();
  auto [ptr, ec] = std::from_chars(key.data(), end, n);
  if (ec != std::errc() || ptr != end) return -1;
  return n;
}

}  // namespace

MainViewController::MainViewController(MainPage& page) : MainViewController(page, Options{}) {}

MainViewController::MainViewController(MainPage& page, Options options)
    : page_(page),
      options_(std::move(options)),
      context_(std::make_unique<QObject>()),
      retry_(options_.queueRetryInitial, options_.queueRetryMaximum),
      networkRetry_(options_.networkRetryInitial, options_.networkRetryMaximum),
      alive_(std::make_shared<bool>(true)),
      q_(std::make_unique<SerialQueue>(kQueueLabel)) {}

MainViewController::~MainViewController() {
  alive_.reset();
  stationObserver_.reset();
  playbackObserver_.reset();
  hateObserver_.reset();
  destroyStreamer();
  prefetch_.drop();
  context_.reset();
  q_.reset();  // lets the requests on their way finish; their answers are dropped
}

void MainViewController::setHooks(Hooks hooks) { hooks_ = std::move(hooks); }

MainViewController::Clock::time_point MainViewController::now() const {
  return options_.now ? options_.now() : Clock::now();
}

UserDefaults& MainViewController::defaults() const {
  return options_.defaults ? *options_.defaults : UserDefaults::standard();
}

std::function<void()> MainViewController::guarded(std::weak_ptr<bool> alive, std::function<void()> task) {
  return [alive = std::move(alive), task = std::move(task)] {
    if (alive.lock()) task();
  };
}

std::string MainViewController::windowTitle(const std::string& channelName) {
  return QCoreApplication::translate("MainViewController", "Tonvera音乐播放器--").toStdString() + channelName;
}

void MainViewController::awakeFromNib() {
  queue_.setIndex(0);
  startWork();
}

void MainViewController::startWork() {
  auto& center = NotificationCenter::defaultCenter();
  // Posters are views and the application delegate on the main thread; a post from elsewhere is
  // carried over to the main thread rather than touching the controller there.
  stationObserver_ = ScopedObserver(center, kStationChangedNotification, nullptr,
                                    [this, alive = aliveToken()](const Notification& n) {
                                      auto handle = [this, info = n.userInfo] { getStationInfo(&info); };
                                      if (isMainThread())
                                        handle();
                                      else
                                        runOnMain(guarded(alive, handle));
                                    });
  playbackObserver_ = ScopedObserver(center, kPlayBackChangedNotification, nullptr,
                                     [this, alive = aliveToken()](const Notification& n) {
                                       auto handle = [this, info = n.userInfo] { playbackChange(info); };
                                       if (isMainThread())
                                         handle();
                                       else
                                         runOnMain(guarded(alive, handle));
                                     });
  // A track held ahead that the listener dislikes meanwhile (on any page) is let go.
  hateObserver_ =
      ScopedObserver(center, "hateSong", nullptr, [this, alive = aliveToken()](const Notification&) {
        if (isMainThread())
          checkPrefetch(true);
        else
          runOnMain(guarded(alive, [this] { checkPrefetch(true); }));
      });
  getStationInfo(nullptr);
  QTimer::singleShot(options_.configControlDelay, context_.get(), [this] {
    if (hooks_.configControl) hooks_.configControl();
  });
}

void MainViewController::storeStation(const PlistValue& station) {
  auto& store = defaults();
  store.set(kSelectStationKey, station);
  store.synchronize();
}

void MainViewController::applyWindowTitle() {
  const std::string name = station_ ? nameOf(*station_) : std::string();
  page_.setWindowTitle(windowTitle(name));
  if (hooks_.channelChosen && station_) hooks_.channelChosen(*station_);
}

void MainViewController::getStationInfo(const PlistValue* userInfo) {
  // Every choice here changes what comes next (a channel, an inserted track, a new queue).
  dropPrefetch();
  ++networkTicket_;  // a track held for the network gives way to the choice
  networkHeld_ = false;
  if (userInfo) {
    const auto& entries = userInfo->dict();
    std::int64_t action = -1;
    PlistValue value;
    if (!entries.empty()) {
      action = actionOf(entries.begin()->first);
      value = entries.begin()->second;
    }
    switch (action) {
      case 0:
        privateChosen_ = false;
        station_ = value;
        if (value.isDict()) storeStation(value);
        applyWindowTitle();
        break;
      case 1: {
        queue_.insert(idOf(value.find("id")));
        nextTrack(Sender::reason(skipreason::kInsertTrack));
        return;
      }
      case 4: {
        PlayQueue::TrackIds ids;
        for (const auto& entry : value.array()) ids.push_back(idOf(&entry));
        refreshTracks(std::move(ids));
        return;
      }
      case 6:
        // The private channel stays chosen until a public one is picked: every refill of its
        // queue is a new private request. `station_` and the window title stay as they were.
        privateChosen_ = true;
        storeStation(privateStation());
        playLoveSimilar();
        return;
      default:
        break;
    }
  } else if (privateChosen_) {
    storeStation(privateStation());
    playLoveSimilar();
    return;
  } else {
    if (station_) {
      storeStation(*station_);
    } else {
      if (auto stored = defaults().object(kSelectStationKey); stored && stored->isDict()) {
        station_ = *stored;
      } else {
        station_ = defaultStation();
        storeStation(*station_);
      }
    }
    applyWindowTitle();
  }

  if (privateChosen_ || (station_ && nameOf(*station_) == kPrivateChannelName)) {
    playLoveSimilar();
    return;
  }
  if (!station_ || station_->dict().empty()) return;
  requestChannelQueue();
}

void MainViewController::requestChannelQueue() {
  const std::uint64_t generation = ++queueGeneration_;
  const std::string url = channelPlayURL(idOf(station_->find("id")));
  q_->async([this, url, generation, alive = aliveToken()] {
    auto tracks = tracksOf(JsonCall::call(url));
    runOnMain(guarded(alive, [this, generation, tracks = std::move(tracks)]() mutable {
      queueArrived(generation, std::move(tracks));
    }));
  });
}

void MainViewController::playLoveSimilar() {
  const std::uint64_t generation = ++queueGeneration_;
  const std::vector<std::string> ids = TNManager::sharedManager().allLikeSongAndArtistId();
  const std::string body = privateChannelBody(ids, {});
  const std::string url = privateChannelURL();
  q_->async([this, url, body, generation, alive = aliveToken()] {
    std::optional<JsonValue> reply;
    if (auto bytes = JsonCall::down(url, body, true)) reply = JSONValue(*bytes);
    auto tracks = tracksOf(reply);
    runOnMain(guarded(alive, [this, generation, tracks = std::move(tracks)]() mutable {
      queueArrived(generation, std::move(tracks));
    }));
  });
}

void MainViewController::queueArrived(std::uint64_t generation, std::optional<PlayQueue::TrackIds> tracks) {
  if (!tracks) {
    // No reply, or not an object: ask again after a pause, unless the listener chose anew meanwhile.
    scheduleQueueRetry(generation);
    return;
  }
  refreshTracks(std::move(tracks));
}

void MainViewController::scheduleQueueRetry(std::uint64_t generation) {
  // One retry waits at a time; a newer channel choice replaces the one of an earlier choice.
  if (retryPending_ && retryGeneration_ == generation) return;
  retryPending_ = true;
  retryGeneration_ = generation;
  const std::uint64_t ticket = ++retryTicket_;
  const Millis pause = retry_.next();
  log(lcRadio, "no tracks to play; asking for a queue again in %lld ms (retry %d)",
      static_cast<long long>(pause.count()), retry_.retries());
  if (hooks_.queueRetryScheduled) hooks_.queueRetryScheduled(pause);
  QTimer::singleShot(pause, context_.get(), [this, generation, ticket] {
    if (ticket != retryTicket_) return;
    retryPending_ = false;
    if (generation != queueGeneration_) return;
    getStationInfo(nullptr);
  });
}

void MainViewController::queueUsedUp() {
  // A queue played to its end is followed by a fresh one at once; a queue that ended without a
  // single track playing (empty, or every track filtered, missing or failing) only after a pause.
  if (playedSinceQueue_) {
    getStationInfo(nullptr);
  } else {
    showNothingToPlay();
    scheduleQueueRetry(queueGeneration_);
  }
}

void MainViewController::showNothingToPlay() {
  // Nothing plays, and the page says why instead of standing blank; the channel and private pages
  // stay open for a way on, and the line goes as soon as a track is shown.
  notice_ = filteredSinceQueue_ > 0 ? kNoticeAllFiltered : kNoticeNothingToPlay;
  page_.showNotice(notice_);
  page_.lrcSetLrc(std::nullopt);
  page_.lrcProcess();
  page_.lrcDisplay();
  if (curSong_) {
    // The track last shown is not playing any more: the taste buttons must not act on it.
    curSong_.reset();
    page_.setTrackNameText({});
    page_.setArtistText({});
    page_.setAlbumText({});
    page_.readoutSetString(readoutText(0, 0));
    page_.readoutDisplay();
    page_.setPositionText(remainingText(0, 0));
    page_.sliderSetProgress(0);
  }
}

void MainViewController::refreshTracks(std::optional<PlayQueue::TrackIds> tracks) {
  ++queueGeneration_;
  playedSinceQueue_ = false;
  filteredSinceQueue_ = 0;
  dropPrefetch();
  queue_.replace(std::move(tracks));
  nextTrack(Sender::none());
}

void MainViewController::nextTrack(const Sender& sender) {
  logDebug(lcRadio, "%s", sender.describe().c_str());
  // The skip guard is for repeated presses of a control: a press within a second of the last
  // accepted advance is ignored. Reasons from the program (track ended, media keys, filters) always
  // pass and restart that second. A queue replacement neither waits for the guard nor restarts it:
  // a channel the listener just chose must start, and is no press.
  if (sender.kind != Sender::Kind::None) {
    if (heldBySkipGuard(sender)) return;
    lastClickDate_ = now();
  }
  if (hooks_.advanceRequested) hooks_.advanceRequested(sender);

  if (queue_.advance(sender.kind != Sender::Kind::None) == PlayQueue::Step::UsedUp) {
    queueUsedUp();
    return;
  }
  getNextTrackInfo();
}

void MainViewController::preTrack(const Sender& sender) {
  // A press the guard will hold back must not move the position either: the position would stop
  // pointing at the track that plays, and a later removal would hit another entry.
  if (heldBySkipGuard(sender)) {
    logDebug(lcRadio, "%s", sender.describe().c_str());
    return;
  }
  queue_.back();
  dropPrefetch();
  nextTrack(sender);
}

bool MainViewController::heldBySkipGuard(const Sender& sender) const {
  return sender.kind == Sender::Kind::Control && lastClickDate_ &&
         now() - *lastClickDate_ < options_.skipGuard;
}

void MainViewController::onPause() {
  if (streamer_) streamer_->pause();
}

void MainViewController::playbackChange(const PlistValue& userInfo) {
  const PlistValue* state = userInfo.find("state");
  switch (state ? state->toInteger() : 0) {
    case 3:
      nextTrack(Sender::reason(skipreason::kMediaKey));
      break;
    case 1:
      preTrack(Sender::reason(skipreason::kMediaKey));
      break;
    case 2:
      onPause();
      break;
    default:
      break;
  }
}

}  // namespace tonvera
