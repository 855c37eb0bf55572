#include "taste/ui/tnsongsviewcontroller.h"

#include <QCursor>
#include <QEnterEvent>
#include <QPainter>
#include <algorithm>

#include "controls/fonts.h"
#include "controls/geometry.h"
#include "records/tnartist.h"
#include "records/tnsong.h"
#include "taste/ui/tneventtuiview.h"
#include "taste/ui/xbutton.h"

namespace tonvera {

TNSongTableCell::TNSongTableCell(const QString& reuseIdentifier, QWidget* parent)
    : TableCell(reuseIdentifier, parent), delButton_(XButton::button(this)) {
  delButton_->setIndex(0);
  delButton_->setGeometry(geometry::frameFromBottomUp(0, 0, XButton::kSize, XButton::kSize, XButton::kSize));
  delButton_->hide();
  delButton_->addTarget([this] { removeAction(); });
}

void TNSongTableCell::setSong(std::shared_ptr<TNSong> song) {
  song_ = std::move(song);
  QString title, artist;
  if (song_) {
    title = QString::fromStdString(song_->nameStr().value_or(""));
    artist = QString::fromStdString(song_->firstArtist()->name().value_or(""));
  }
  setAttributedString(QStringLiteral("%1-%2").arg(title, artist));
}

void TNSongTableCell::setAttributedString(QString text) {
  text_ = std::move(text);
  update();
}

void TNSongTableCell::setIsOver(bool isOver) {
  if (isOver == isOver_) return;
  isOver_ = isOver;
  delButton_->setVisible(isOver);
  update();
}

bool TNSongTableCell::calPoint(const QPointF& globalPos) const {
  return rect().contains(mapFromGlobal(globalPos).toPoint());
}

void TNSongTableCell::removeAction() {
  if (delegate_) delegate_->removeCell(this);
}

void TNSongTableCell::mouseEntered(QWidget* subview, const QPointF&) {
  delButton_->setIsOver(subview == delButton_);
  setIsOver(true);
}

void TNSongTableCell::mouseExited(QWidget* subview, const QPointF& globalPos) {
  const bool inside = calPoint(globalPos);
  if (subview == this) {
    if (!inside) setIsOver(false);
  } else if (subview == delButton_) {
    delButton_->setIsOver(false);
    if (!inside) setIsOver(false);
  }
}

void TNSongTableCell::enterEvent(QEnterEvent* event) { reportHover(this, true, event->globalPosition()); }

void TNSongTableCell::leaveEvent(QEvent*) { reportHover(this, false, QCursor::pos()); }

void TNSongTableCell::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const qreal h = height();
  if (isSelected()) {
    painter.fillRect(rect(), QColor::fromRgbF(0.87f, 0.87f, 0.87f));
  } else {
    painter.fillRect(rect(), QColor::fromRgbF(0.97f, 0.97f, 0.97f));
    painter.fillRect(geometry::fromBottomUp(0, h - 1, width(), 1, h), QColor::fromRgbF(1, 1, 1, 0.9f));
  }
  if (isOver_) painter.fillRect(rect(), QColor(208, 208, 208, 208));
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setPen(Qt::black);
  painter.setFont(systemFont(15));
  const QRectF textRect = QRectF(rect()).translated(30, 0);
  painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                   painter.fontMetrics().elidedText(text_, Qt::ElideRight, width() - 36));
}

TNArtistCell::TNArtistCell(const QString& reuseIdentifier, QWidget* parent)
    : TNSongTableCell(reuseIdentifier, parent) {}

void TNArtistCell::setArtist(std::shared_ptr<TNArtist> artist) {
  delButton()->setIndex(1);
  if (artist == artist_) return;
  artist_ = std::move(artist);
  setAttributedString(artist_ ? QString::fromStdString(artist_->name().value_or("")) : QString());
}

TNSongsViewController::TNSongsViewController(const QRect& frame, bool love, QWidget* parent)
    : QWidget(parent), love_(love) {
  setGeometry(frame);
  build(QRect(QPoint(0, 0), frame.size()));
  songsTableView_->setEmptyText(love ? tr("还没有喜欢的歌曲") : tr("还没有不喜欢的歌曲"));
  TNManager& store = TNManager::sharedManager();
  loveTracks_ = love ? &store.likeSongs() : &store.hateSongs();
  observer_ = ScopedObserver(NotificationCenter::defaultCenter(), love ? "likeSong" : "hateSong", nullptr,
                             [this](const Notification&) { refreshData(); });
  refreshData();
}

TNSongsViewController::TNSongsViewController(const QRect& frame, const QRect& contentFrame, QWidget* parent)
    : QWidget(parent) {
  setGeometry(frame);
  build(contentFrame);
}

TNSongsViewController::~TNSongsViewController() = default;

void TNSongsViewController::build(const QRect& contentFrame) {
  tuicontainView_ = new TNEventTUIView(this);
  tuicontainView_->setGeometry(contentFrame);
  tuicontainView_->setDelegate(this);
  songsTableView_ = new TasteTableView(tuicontainView_);
  songsTableView_->setGeometry(QRect(QPoint(0, 0), contentFrame.size()));
  songsTableView_->setDataSource(this);
}

void TNSongsViewController::refreshData() { songsTableView_->reloadData(); }

int TNSongsViewController::numberOfRows(TasteTableView&) {
  return loveTracks_ ? static_cast<int>(loveTracks_->size()) : 0;
}

int TNSongsViewController::heightForRow(TasteTableView&, int) { return kRowHeight; }

TableCell* TNSongsViewController::cellForRow(TasteTableView& table, int row) {
  auto* cell = table.reusableCell<TNSongTableCell>(
      QString::fromLatin1(TNSongTableCell::kReuseIdentifier), [](QWidget* parent) {
        return new TNSongTableCell(QString::fromLatin1(TNSongTableCell::kReuseIdentifier), parent);
      });
  cell->setDelegate(this);
  cell->setTag(row);
  cell->setSong((*loveTracks_)[static_cast<size_t>(row)]);
  return cell;
}

void TNSongsViewController::scrollViewDidScroll(TasteTableView& table) {
  for (TableCell* cell : table.visibleCells()) {
    if (auto* row = qobject_cast<TNSongTableCell*>(cell)) row->setIsOver(false);
  }
}

void TNSongsViewController::removeCell(TNSongTableCell* cell) {
  if (!loveTracks_ || cell->tag() < 0 || cell->tag() >= static_cast<int>(loveTracks_->size())) return;
  // The very entry shown leaves the shared list first; the store then drops its file record.
  const std::shared_ptr<TNSong> song = (*loveTracks_)[static_cast<size_t>(cell->tag())];
  std::erase(*loveTracks_, song);
  TNManager& store = TNManager::sharedManager();
  if (love_) {
    store.likeSong(song, false);
  } else {
    store.hateSong(song, false);
  }
  refreshData();
}

bool TNSongsViewController::forwardsHoverTo(QWidget* subview) const {
  return qobject_cast<TNSongTableCell*>(subview) != nullptr &&
         qobject_cast<TNArtistCell*>(subview) == nullptr;
}

void TNSongsViewController::mouseEntered(QWidget* subview, const QPointF& globalPos) {
  if (forwardsHoverTo(subview)) static_cast<TNSongTableCell*>(subview)->mouseEntered(subview, globalPos);
}

void TNSongsViewController::mouseExited(QWidget* subview, const QPointF& globalPos) {
  if (forwardsHoverTo(subview)) static_cast<TNSongTableCell*>(subview)->mouseExited(subview, globalPos);
}

}  // namespace tonvera
