#include "taste/ui/tnartistrecommendview.h"

#include <algorithm>

#include "platform/mainqueue.h"
#include "platform/serialqueue.h"
#include "records/tnartist.h"
#include "taste/similarartists.h"

namespace tonvera {

TNArtistRecommendView::TNArtistRecommendView(const QRect& frame, QWidget* parent)
    : TNArtistsListViewController(frame, parent) {
  setArtistList(&recommended_);
  refreshData();
}

TNArtistRecommendView::~TNArtistRecommendView() { *alive_ = false; }

int TNArtistRecommendView::numberOfRows(TasteTableView&) {
  if (recommended_.empty()) {
    genRecommendArtists();
    return 0;
  }
  return rowsFor(recommended_.size());
}

void TNArtistRecommendView::genRecommendArtists() {
  std::vector<std::string> liked;
  for (const auto& artist : TNManager::sharedManager().likeArtists()) {
    if (auto id = artist->artistkId()) liked.push_back(*id);
  }
  if (liked.empty()) {
    showNothingFound();
    return;
  }
  // One queue for the run: the liked artists are asked in list order, one after another, and each
  // answer goes to the main queue behind the previous one.
  SerialQueue::runDetached("getNextTrackInfo", [liked = std::move(liked), alive = alive_, this] {
    for (const std::string& id : liked) {
      std::optional<PlistValue::Array> entries = requestSimilarArtists(id);
      if (!entries) continue;
      runOnMain([entries = std::move(*entries), alive, this] {
        if (*alive) addRecommendations(entries);
      });
    }
    runOnMain([alive, this] {
      if (*alive && recommended_.empty()) showNothingFound();
    });
  });
}

void TNArtistRecommendView::showNothingFound() {
  artistsTableView()->setEmptyText(tr("还没有可推荐的相似艺人"));
}

void TNArtistRecommendView::addRecommendations(const PlistValue::Array& entries) {
  for (const PlistValue& entry : entries) {
    if (!entry.isDict()) continue;
    auto artist = TNArtist::create(entry.dict());
    const std::optional<std::string> id = artist->artistkId();
    if (!id || std::find(ids_.begin(), ids_.end(), *id) != ids_.end()) continue;
    ids_.push_back(*id);
    recommended_.push_back(artist);
    if (ids_.size() <= kReloadLimit) refreshData();
  }
}

void TNArtistRecommendView::removeArtist(const std::shared_ptr<TNArtist>& artist) {
  TNManager::sharedManager().likeArtist(artist, true);
  std::erase(recommended_, artist);
  refreshData();
}

}  // namespace tonvera
