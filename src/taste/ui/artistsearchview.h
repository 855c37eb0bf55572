// ArtistSearchView: searches the service's artist catalogue for the text of its search field (on
// Return) and lists the artists found, one 20-point row each with an add button. Adding an artist
// toggles it in the liked artists (an artist already liked is taken off them), posts "likeArtist"
// and takes it off the results. A search that finds nothing (or fails) empties the list, which then
// says so; of two overlapping searches the one answered last fills the list.
//
// Threads: main thread; the search runs on its own queue and answers on the main thread.
#pragma once

#include <memory>

#include "taste/ui/tnsongsviewcontroller.h"

class QLineEdit;

namespace tonvera {

class ArtistSearchView : public TNSongsViewController {
  Q_OBJECT
 public:
  explicit ArtistSearchView(const QRect& frame, QWidget* parent = nullptr);
  ~ArtistSearchView() override;

  QLineEdit* searchField() const { return searchField_; }
  const TNManager::ArtistList& results() const { return results_; }

  // The field's action: searches for its text.
  void performSearch();
  void didEndFinishInput(const QString& text);
  // Fills the list with the entries of a search answer.
  void showArtist(const PlistValue::Array& entries);

  int numberOfRows(TasteTableView& table) override;
  TableCell* cellForRow(TasteTableView& table, int row) override;
  void removeCell(TNSongTableCell* cell) override;

 protected:
  bool forwardsHoverTo(QWidget* subview) const override;

 private:
  QLineEdit* searchField_ = nullptr;
  TNManager::ArtistList results_;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace tonvera
