// TNArtistRecommendView: the grid of artists similar to the liked ones. A run asks the service, on a
// serial queue "getNextTrackInfo" of its own, for the similar artists of every liked artist in list
// order; the answers are added on the main thread in that order, each artist only the first time its
// id occurs during the run of the program. The grid reloads for each of the first 15 distinct
// artists; later ones show at the next reload. A tile's button adds the artist to the liked artists
// (a toggle in the store), posts "likeArtist" and takes the artist off the grid for good. A run that
// ends without any artist to recommend leaves a line in the empty grid saying so.
//
// Threads: main thread; the requests run on the run's queue and hand their answers to the main queue.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "taste/ui/tnartistslistviewcontroller.h"

namespace tonvera {

class TNArtistRecommendView : public TNArtistsListViewController {
  Q_OBJECT
 public:
  static constexpr size_t kReloadLimit = 15;

  explicit TNArtistRecommendView(const QRect& frame, QWidget* parent = nullptr);
  ~TNArtistRecommendView() override;

  // Starts one recommendation run (nothing when no artist is liked).
  void genRecommendArtists();
  const std::vector<std::string>& reconnmendArtistIds() const { return ids_; }

  // An empty grid starts a run each time it is asked for its rows.
  int numberOfRows(TasteTableView& table) override;
  void removeArtist(const std::shared_ptr<TNArtist>& artist) override;

 protected:
  bool tilesAdd() const override { return true; }

 private:
  // One liked artist's similar artists (records), in the answer's order.
  void addRecommendations(const PlistValue::Array& entries);
  // The grid's line for a run that found no artist to recommend (or had no liked artist to ask).
  void showNothingFound();

  TNManager::ArtistList recommended_;
  std::vector<std::string> ids_;  // never cleared
  // Answers of runs still under way stop reaching the view once it is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tonvera
