#include "taste/ui/tnartistslistviewcontroller.h"

#include <QCursor>
#include <QEnterEvent>
#include <QHash>
#include <QPainter>
#include <QSet>
#include <algorithm>

#include "controls/fonts.h"
#include "controls/geometry.h"
#include "controls/resources.h"
#include "records/picturecache.h"
#include "records/tnartist.h"
#include "taste/ui/xbutton.h"

namespace tonvera {
namespace {

constexpr int kTileStep = 84;
constexpr int kTileTag = 100;

// Squared artist pictures read from the cache folder, kept for the run so a redraw does not decode
// the file again; and the ids whose lookup is under way, so redraws do not start it again.
QHash<QString, QImage>& loadedPictures() {
  static QHash<QString, QImage> pictures;
  return pictures;
}
QSet<QString>& lookupsUnderWay() {
  static QSet<QString> ids;
  return ids;
}

// The tile's placeholder: "COVER.png", or the favourites' own when the program has none.
QImage placeholderPicture(qreal dpr) {
  for (const char* name : {"COVER.png", "ArtistPlaceholder.png"}) {
    if (auto picture = ResourcePicture::load(QString::fromLatin1(name))) return picture->image(dpr);
  }
  return {};
}

// The name panel: black at alpha 0.83, painted by itself so no style can replace it.
class NamePanel : public QWidget {
 public:
  using QWidget::QWidget;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.fillRect(rect(), QColor::fromRgbF(0, 0, 0, 0.83f));
  }
};

// The panel's label: white text on the panel, whatever the palette says.
class NameLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setPen(Qt::white);
    painter.setFont(font());
    painter.drawText(rect(), static_cast<int>(alignment()),
                     painter.fontMetrics().elidedText(text(), Qt::ElideRight, width() - 8));
  }
};

}  // namespace

// ---- ArtistView

ArtistView::ArtistView(QWidget* parent) : QWidget(parent), delButton_(XButton::button(this)) {
  resize(kSize, kSize);
  delButton_->setGeometry(geometry::frameFromBottomUp(0, 0, XButton::kSize, XButton::kSize, kSize));
  delButton_->addTarget([this] { removeAction(); });
  delButton_->hide();
}

void ArtistView::setArtist(std::shared_ptr<TNArtist> artist) {
  artist_ = std::move(artist);
  update();
}

void ArtistView::setIsOver(bool isOver) {
  if (isOver == isOver_) return;
  isOver_ = isOver;
  delButton_->setVisible(isOver);
  update();
}

void ArtistView::removeAction() {
  if (delegate_) delegate_->removeArtistView(this);
}

QImage ArtistView::createArtistArtWithIndex(const std::shared_ptr<TNArtist>& artist) {
  const std::optional<std::string> id = artist ? artist->artistkId() : std::nullopt;
  if (id) {
    const QString key = QString::fromStdString(*id);
    if (auto it = loadedPictures().constFind(key); it != loadedPictures().cend()) return *it;
    if (auto path = pictureCachePath(PictureKind::Artist, *id)) {
      if (auto picture = loadCachedPicture(*path)) {
        loadedPictures().insert(key, *picture);
        return *picture;
      }
    }
    if (!lookupsUnderWay().contains(key)) {
      lookupsUnderWay().insert(key);
      QPointer<ArtistView> self(this);
      artist->artistIdWithObject([self, key](std::optional<QImage> picture, std::shared_ptr<TNArtist>) {
        lookupsUnderWay().remove(key);
        if (self) self->downLoadImage(picture);
      });
    }
  }
  return placeholderPicture(devicePixelRatioF());
}

void ArtistView::downLoadImage(const std::optional<QImage>& picture) {
  if (picture && !picture->isNull()) update();
}

void ArtistView::mouseEntered(QWidget* subview, const QPointF&) {
  if (subview == delButton_) delButton_->setIsOver(true);
}

void ArtistView::mouseExited(QWidget* subview, const QPointF& globalPos) {
  if (subview != delButton_) return;
  delButton_->setIsOver(false);
  if (auto* row = dynamic_cast<HoverReceiver*>(parentWidget())) row->mouseExited(this, globalPos);
}

void ArtistView::enterEvent(QEnterEvent* event) { reportHover(this, true, event->globalPosition()); }

void ArtistView::leaveEvent(QEvent*) { reportHover(this, false, QCursor::pos()); }

void ArtistView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.fillRect(rect(), QColor(40, 60, 140));
  const QImage picture = createArtistArtWithIndex(artist_);
  if (!picture.isNull()) painter.drawImage(geometry::fromBottomUp(0, 0, kSize, kSize, kSize), picture);
  if (!isOver_) {
    painter.fillRect(geometry::fromBottomUp(0, 0, kSize, 20, kSize),
                     QColor::fromRgbF(0.37f, 0.37f, 0.37f, 0.8f));
    const QString name = artist_ ? QString::fromStdString(artist_->name().value_or("")) : QString();
    painter.setPen(Qt::white);
    painter.setFont(systemFont(13));
    const QRectF nameRect = geometry::fromBottomUp(0, -2, kSize, 20, kSize);
    painter.drawText(nameRect, Qt::AlignCenter,
                     painter.fontMetrics().elidedText(name, Qt::ElideRight, kSize - 4));
  }
}

// ---- TNArtistTableCell

TNArtistTableCell::TNArtistTableCell(const QString& reuseIdentifier, QWidget* parent)
    : TableCell(reuseIdentifier, parent),
      colorView_(new NamePanel(this)),
      artistLabel_(new NameLabel(colorView_)) {
  colorView_->setGeometry(geometry::frameFromBottomUp(0, 2, 168, 80, kHeight));
  colorView_->setAttribute(Qt::WA_TransparentForMouseEvents);
  colorView_->hide();
  artistLabel_->setGeometry(geometry::frameFromBottomUp(0, 27, 168, 26, 80));
  artistLabel_->setAlignment(Qt::AlignCenter);
  artistLabel_->setFont(systemFont(22));
}

ArtistView* TNArtistTableCell::tileAt(int index) const {
  return index >= 0 && index < 4 ? tiles_[static_cast<size_t>(index)].data() : nullptr;
}

void TNArtistTableCell::addArtist(std::shared_ptr<TNArtist> artist, int index, bool add) {
  if (index < 0 || index > 3) return;
  ArtistView* tile = tileAt(index);
  if (!tile) {
    tile = new ArtistView(this);
    tile->setGeometry(geometry::frameFromBottomUp(kTileStep * index + 15, 2, ArtistView::kSize,
                                                  ArtistView::kSize, kHeight));
    tile->setTag(kTileTag + index);
    tile->setDelegate(this);
    tiles_[static_cast<size_t>(index)] = tile;
  }
  tile->delButton()->setIndex(add ? 1 : 0);
  tile->setArtist(std::move(artist));
  tile->show();
  // A reused row may have held a longer row: its later tiles go.
  for (int later = index + 1; later < 4; ++later) {
    if (ArtistView* stale = tileAt(later)) {
      tiles_[static_cast<size_t>(later)] = nullptr;
      stale->hide();
      stale->deleteLater();
    }
  }
}

void TNArtistTableCell::showColorView(bool show, const std::shared_ptr<TNArtist>& artist) {
  if (!show) {
    colorView_->hide();
    return;
  }
  const int x = index_ < 2 ? (index_ + 1) * kTileStep + 11 : (index_ - 2) * kTileStep + 15;
  colorView_->move(x, colorView_->y());
  artistLabel_->setText(artist ? QString::fromStdString(artist->name().value_or("")) : QString());
  colorView_->show();
  colorView_->raise();
}

void TNArtistTableCell::setIsOver(bool isOver) {
  if (isOver == isOver_) return;
  isOver_ = isOver;
  colorView_->setVisible(isOver);
  update();
}

bool TNArtistTableCell::calPoint(const QPointF& globalPos, ArtistView* tile) const {
  return tile && tile->rect().contains(tile->mapFromGlobal(globalPos).toPoint());
}

void TNArtistTableCell::removeArtistView(ArtistView* tile) {
  const std::shared_ptr<TNArtist> artist = tile->artist();
  // The tile leaves the row before the grid reloads, so the reload builds the row afresh.
  for (auto& t : tiles_) {
    if (t == tile) t = nullptr;
  }
  tile->hide();
  tile->deleteLater();
  hideColorView();
  if (delegate_ && artist) delegate_->removeArtist(artist);
}

void TNArtistTableCell::mouseEntered(QWidget* subview, const QPointF&) {
  auto* tile = qobject_cast<ArtistView*>(subview);
  if (!tile) return;
  tile->setIsOver(true);
  index_ = tile->tag() - kTileTag;
  showColorView(true, tile->artist());
}

void TNArtistTableCell::mouseExited(QWidget* subview, const QPointF& globalPos) {
  auto* tile = qobject_cast<ArtistView*>(subview);
  if (!tile || calPoint(globalPos, tile)) return;
  tile->setIsOver(false);
  index_ = tile->tag() - kTileTag;
  hideColorView();
}

void TNArtistTableCell::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
}

// ---- TNArtistsListViewController

TNArtistsListViewController::TNArtistsListViewController(const QRect& frame, bool love, QWidget* parent)
    : QWidget(parent) {
  setGeometry(frame);
  build();
  loadImage(love);
}

TNArtistsListViewController::TNArtistsListViewController(const QRect& frame, QWidget* parent)
    : QWidget(parent) {
  setGeometry(frame);
  build();
}

TNArtistsListViewController::~TNArtistsListViewController() = default;

void TNArtistsListViewController::build() {
  tuicontainView_ = new QWidget(this);
  tuicontainView_->setGeometry(rect());
  tuicontainView_->setAutoFillBackground(true);
  QPalette pal = tuicontainView_->palette();
  pal.setColor(QPalette::Window, Qt::white);
  tuicontainView_->setPalette(pal);
  artistsTableView_ = new TasteTableView(tuicontainView_);
  artistsTableView_->setGeometry(rect());
  artistsTableView_->setDataSource(this);
}

void TNArtistsListViewController::loadImage(bool love) {
  TNManager& store = TNManager::sharedManager();
  artists_ = love ? &store.likeArtists() : &store.hateArtists();
  observer_ = ScopedObserver(NotificationCenter::defaultCenter(), love ? "likeArtist" : "hateArtist", nullptr,
                             [this](const Notification&) { refreshData(); });
  love_ = love;
  artistsTableView_->setEmptyText(love ? tr("还没有喜欢的艺人") : tr("还没有不喜欢的艺人"));
  refreshData();
}

void TNArtistsListViewController::refreshData() { artistsTableView_->reloadData(); }

int TNArtistsListViewController::numberOfRows(TasteTableView&) {
  return artists_ ? rowsFor(artists_->size()) : 0;
}

int TNArtistsListViewController::heightForRow(TasteTableView&, int) { return TNArtistTableCell::kHeight; }

TableCell* TNArtistsListViewController::cellForRow(TasteTableView& table, int row) {
  auto* cell = table.reusableCell<TNArtistTableCell>(
      QString::fromLatin1(TNArtistTableCell::kReuseIdentifier), [](QWidget* parent) {
        return new TNArtistTableCell(QString::fromLatin1(TNArtistTableCell::kReuseIdentifier), parent);
      });
  cell->setDelegate(this);
  const int count = artists_ ? static_cast<int>(artists_->size()) : 0;
  for (int i = 4 * row; i <= std::min(4 * row + 3, count - 1); ++i) {
    cell->addArtist((*artists_)[static_cast<size_t>(i)], i - 4 * row, tilesAdd());
  }
  return cell;
}

void TNArtistsListViewController::scrollViewDidScroll(TasteTableView& table) {
  for (TableCell* cell : table.visibleCells()) {
    if (auto* row = qobject_cast<TNArtistTableCell*>(cell)) row->hideColorView();
  }
}

void TNArtistsListViewController::removeArtist(const std::shared_ptr<TNArtist>& artist) {
  TNManager& store = TNManager::sharedManager();
  if (love_) {
    store.likeArtist(artist, false);
  } else {
    store.hateArtist(artist, false);
  }
  refreshData();
}

}  // namespace tonvera
