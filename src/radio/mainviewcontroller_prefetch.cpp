// The prefetch side of the now-playing controller: while a track plays steadily, the next track that
// passes the filters is looked up and the head of its stream is held, so that the advance starts it
// from memory. It is never shown, played or announced before it is current; the advance takes the
// usual road (the old player destroyed, the texts shown, the new player made and started) with the
// lookup and the connection already done.
#include <QObject>
#include <QTimer>

#include "platform/mainqueue.h"
#include "platform/serialqueue.h"
#include "platform/userdefaults.h"
#include "radio/mainviewcontroller.h"
#include "records/tnsong.h"
#include "service/jsoncall.h"
#include "taste/tnmanager.h"

namespace tonvera {

void MainViewController::schedulePrefetch() {
  if (!options_.prefetch || prefetch_.started()) return;
  if (prefetchTimer_ && prefetchTimer_->isActive() && prefetchTimerSerial_ == trackSerial_) return;
  if (!prefetchTimer_) {
    prefetchTimer_ = new QTimer(context_.get());  // owned by context_
    prefetchTimer_->setSingleShot(true);
    QObject::connect(prefetchTimer_, &QTimer::timeout, context_.get(), [this] {
      if (prefetchTimerSerial_ == trackSerial_) startPrefetch();
    });
  }
  prefetchTimerSerial_ = trackSerial_;
  prefetchTimer_->start(options_.prefetchDelay);
}

void MainViewController::startPrefetch() {
  if (!options_.prefetch || !streamer_ || !streamer_->isPlaying() || prefetch_.started()) return;
  prefetch_.setStarted();
  prefetch_.setFilteredWithNoEnglish(defaults().boolForKey(kEnplayKey));
  lookAhead(1, prefetch_.generation());
}

void MainViewController::lookAhead(std::int64_t steps, std::uint64_t generation) {
  if (steps > options_.prefetchLookAhead) return;
  const auto id = queue_.idAhead(steps);
  if (!id) return;  // the queue ends first: its refill is not known yet
  auto song = TNSong::create();
  q_->async([this, song, id = *id, steps, generation, alive = aliveToken()] {
    const bool found = song->apcall(id).has_value();
    runOnMain(guarded(alive, [this, steps, generation, id, song, found] {
      lookedAhead(steps, generation, id, song, found);
    }));
  });
}

void MainViewController::lookedAhead(std::int64_t steps, std::uint64_t generation, const std::string& id,
                                     const std::shared_ptr<TNSong>& song, bool found) {
  if (generation != prefetch_.generation() || !found) return;
  prefetch_.remember(id, song);
  // A track the filters leave out is passed over by the advance too: the one after it comes next.
  if (filteredOut(*song)) {
    lookAhead(steps + 1, generation);
    return;
  }
  const auto url = song->url();
  if (!url || url->empty()) return;
  prefetch_.fetch(song, JsonCall::percentEscape(*url), options_.prefetchBytes,
                  [this, song, alive = aliveToken()] {
                    if (alive.lock() && hooks_.prefetched) hooks_.prefetched(song);
                  });
}

void MainViewController::dropPrefetch() { prefetch_.drop(); }

void MainViewController::checkPrefetch(bool afterDislike) {
  if (!prefetch_.started()) return;
  bool stale = prefetch_.filteredWithNoEnglish() != defaults().boolForKey(kEnplayKey);
  if (!stale && afterDislike && prefetch_.song()) stale = TNManager::sharedManager().isHate(*prefetch_.song());
  if (!stale) return;
  dropPrefetch();
  startPrefetch();
}

}  // namespace tonvera
