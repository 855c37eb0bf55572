// The song lists of the favourites page (liked or disliked songs) and their rows.
//
// TNSongsViewController shows the taste store's own list (not a copy), one 20-point row per song
// with the text "<title>-<first artist>"; the pointer over a row highlights it and shows its X
// button, which takes the song off the list, the store and its file. The list reloads on "likeSong"
// (liked) or "hateSong" (disliked), also while it is not on screen. ArtistSearchView reuses it with
// a list of its own.
//
// Threads: main thread only.
#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>

#include "platform/notificationcenter.h"
#include "taste/tnmanager.h"
#include "taste/ui/tastetableview.h"

namespace tonvera {

class XButton;
class TNEventTUIView;
class TNSong;
class TNArtist;

class TNSongTableCell;

class TNSongTableCellDelegate {
 public:
  virtual ~TNSongTableCellDelegate() = default;
  virtual void removeCell(TNSongTableCell* cell) = 0;
};

class TNSongTableCell : public TableCell, public HoverReceiver {
  Q_OBJECT
 public:
  static constexpr const char* kReuseIdentifier = "ab.TNSongTableCell";
  explicit TNSongTableCell(const QString& reuseIdentifier, QWidget* parent = nullptr);

  void setSong(std::shared_ptr<TNSong> song);
  const std::shared_ptr<TNSong>& song() const { return song_; }
  void setDelegate(TNSongTableCellDelegate* delegate) { delegate_ = delegate; }  // not owned
  XButton* delButton() const { return delButton_; }
  const QString& attributedString() const { return text_; }
  void setAttributedString(QString text);
  bool isOver() const { return isOver_; }
  void setIsOver(bool isOver);
  // Whether a screen position lies inside the row.
  bool calPoint(const QPointF& globalPos) const;
  void removeAction();

  // Reports about this row (subview is the row itself) and its X button.
  void mouseEntered(QWidget* subview, const QPointF& globalPos) override;
  void mouseExited(QWidget* subview, const QPointF& globalPos) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  XButton* delButton_;
  std::shared_ptr<TNSong> song_;
  TNSongTableCellDelegate* delegate_ = nullptr;
  QString text_;
  bool isOver_ = false;
};

// A search result row: the artist's name and the add button.
class TNArtistCell : public TNSongTableCell {
  Q_OBJECT
 public:
  static constexpr const char* kReuseIdentifier = "ab.TNArtistCell";
  explicit TNArtistCell(const QString& reuseIdentifier, QWidget* parent = nullptr);
  void setArtist(std::shared_ptr<TNArtist> artist);
  const std::shared_ptr<TNArtist>& artist() const { return artist_; }

 private:
  std::shared_ptr<TNArtist> artist_;
};

class TNSongsViewController : public QWidget,
                              public TableDataSource,
                              public TNSongTableCellDelegate,
                              public HoverReceiver {
  Q_OBJECT
 public:
  static constexpr int kRowHeight = 20;

  // A song list over `frame` (its parent's coordinates) showing the liked (love) or disliked songs.
  TNSongsViewController(const QRect& frame, bool love, QWidget* parent = nullptr);
  ~TNSongsViewController() override;

  bool Love() const { return love_; }
  void refreshData();
  TasteTableView* songsTableView() const { return songsTableView_; }
  TNEventTUIView* tuicontainView() const { return tuicontainView_; }

  // TableDataSource
  int numberOfRows(TasteTableView& table) override;
  int heightForRow(TasteTableView& table, int row) override;
  TableCell* cellForRow(TasteTableView& table, int row) override;
  void scrollViewDidScroll(TasteTableView& table) override;
  // TNSongTableCellDelegate
  void removeCell(TNSongTableCell* cell) override;
  // HoverReceiver: the root view's reports, passed on to the rows.
  void mouseEntered(QWidget* subview, const QPointF& globalPos) override;
  void mouseExited(QWidget* subview, const QPointF& globalPos) override;

 protected:
  // For lists of their own: the root view and the table over `contentFrame`, no list bound.
  TNSongsViewController(const QRect& frame, const QRect& contentFrame, QWidget* parent);
  // Whether the root view's reports about `subview` go on to it (rows of this list's class).
  virtual bool forwardsHoverTo(QWidget* subview) const;

 private:
  void build(const QRect& contentFrame);

  TNEventTUIView* tuicontainView_ = nullptr;
  TasteTableView* songsTableView_ = nullptr;
  TNManager::SongList* loveTracks_ = nullptr;  // the store's list
  bool love_ = true;
  ScopedObserver observer_;
};

}  // namespace tonvera
