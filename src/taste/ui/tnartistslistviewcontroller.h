// The artist grids of the favourites page (liked or disliked artists): rows of up to four 80 x 80
// tiles, 84 points high. A tile shows the artist's squared picture (the placeholder until it is
// cached) with the name below; the pointer over a tile shows its X button and a name panel over the
// two tiles beside it. The grid shows the taste store's own list and reloads on "likeArtist" or
// "hateArtist"; TNArtistRecommendView reuses it with a list of its own.
//
// Threads: main thread only; picture lookups call back on the main thread.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QWidget>
#include <array>
#include <memory>

#include "platform/notificationcenter.h"
#include "taste/tnmanager.h"
#include "taste/ui/tastetableview.h"

namespace tonvera {

class XButton;
class TNArtist;
class ArtistView;

class ArtistViewDelegate {
 public:
  virtual ~ArtistViewDelegate() = default;
  virtual void removeArtistView(ArtistView* tile) = 0;
};

class TNArtistTableCellDelegate {
 public:
  virtual ~TNArtistTableCellDelegate() = default;
  virtual void removeArtist(const std::shared_ptr<TNArtist>& artist) = 0;
};

// One artist tile.
class ArtistView : public QWidget, public HoverReceiver {
  Q_OBJECT
 public:
  static constexpr int kSize = 80;
  explicit ArtistView(QWidget* parent = nullptr);

  const std::shared_ptr<TNArtist>& artist() const { return artist_; }
  void setArtist(std::shared_ptr<TNArtist> artist);
  XButton* delButton() const { return delButton_; }
  void setDelegate(ArtistViewDelegate* delegate) { delegate_ = delegate; }  // not owned
  int tag() const { return tag_; }
  void setTag(int tag) { tag_ = tag; }
  bool isOver() const { return isOver_; }
  void setIsOver(bool isOver);
  void removeAction();
  // The picture to draw: the cached squared picture, or the placeholder while the lookup runs.
  QImage createArtistArtWithIndex(const std::shared_ptr<TNArtist>& artist);
  // The lookup's answer: redraws when a picture arrived.
  void downLoadImage(const std::optional<QImage>& picture);

  // The X button shows the pointer over it, as in the song rows.
  void mouseEntered(QWidget* subview, const QPointF& globalPos) override;
  // Leaving the X button counts as leaving the tile: the row is told.
  void mouseExited(QWidget* subview, const QPointF& globalPos) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  XButton* delButton_;
  std::shared_ptr<TNArtist> artist_;
  ArtistViewDelegate* delegate_ = nullptr;
  int tag_ = 0;
  bool isOver_ = false;
};

// One grid row of up to four tiles and the name panel.
class TNArtistTableCell : public TableCell, public HoverReceiver, public ArtistViewDelegate {
  Q_OBJECT
 public:
  static constexpr const char* kReuseIdentifier = "ab.TNArtistTableCell";
  static constexpr int kHeight = 84;
  explicit TNArtistTableCell(const QString& reuseIdentifier, QWidget* parent = nullptr);

  void setDelegate(TNArtistTableCellDelegate* delegate) { delegate_ = delegate; }  // not owned
  // Puts `artist` on tile `index` (0-3), making the tile when the row has none there, and takes the
  // tiles after it off the row. `add`: the tile's button adds instead of removes.
  void addArtist(std::shared_ptr<TNArtist> artist, int index, bool add);
  // The tile at position 0-3 when the row has one there.
  ArtistView* tileAt(int index) const;
  int index() const { return index_; }
  QWidget* colorView() const { return colorView_; }
  void showColorView(bool show, const std::shared_ptr<TNArtist>& artist);
  void hideColorView() { showColorView(false, nullptr); }
  bool isOver() const { return isOver_; }
  void setIsOver(bool isOver);
  // Whether a screen position lies inside the tile.
  bool calPoint(const QPointF& globalPos, ArtistView* tile) const;

  void removeArtistView(ArtistView* tile) override;
  void mouseEntered(QWidget* subview, const QPointF& globalPos) override;
  void mouseExited(QWidget* subview, const QPointF& globalPos) override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::array<QPointer<ArtistView>, 4> tiles_;
  QWidget* colorView_;
  QLabel* artistLabel_;
  TNArtistTableCellDelegate* delegate_ = nullptr;
  int index_ = 0;
  bool isOver_ = false;
};

class TNArtistsListViewController : public QWidget, public TableDataSource, public TNArtistTableCellDelegate {
  Q_OBJECT
 public:
  // A grid over `frame` (its parent's coordinates) of the liked (love) or disliked artists.
  TNArtistsListViewController(const QRect& frame, bool love, QWidget* parent = nullptr);
  ~TNArtistsListViewController() override;

  bool Love() const { return love_; }
  void refreshData();
  TasteTableView* artistsTableView() const { return artistsTableView_; }
  const TNManager::ArtistList& artists() const { return *artists_; }

  int numberOfRows(TasteTableView& table) override;
  int heightForRow(TasteTableView& table, int row) override;
  TableCell* cellForRow(TasteTableView& table, int row) override;
  void scrollViewDidScroll(TasteTableView& table) override;
  void removeArtist(const std::shared_ptr<TNArtist>& artist) override;

 protected:
  // A grid of its own list (bound by the subclass), not subscribed to anything.
  TNArtistsListViewController(const QRect& frame, QWidget* parent);
  void setArtistList(TNManager::ArtistList* artists) { artists_ = artists; }
  // Whether the tiles' buttons add (the recommendations) rather than remove.
  virtual bool tilesAdd() const { return false; }
  int rowsFor(size_t count) const { return static_cast<int>((count + 3) / 4); }

 private:
  void build();
  void loadImage(bool love);

  QWidget* tuicontainView_ = nullptr;
  TasteTableView* artistsTableView_ = nullptr;
  TNManager::ArtistList* artists_ = nullptr;
  bool love_ = true;
  ScopedObserver observer_;
};

}  // namespace tonvera
