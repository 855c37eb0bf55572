#include "channels/ui/pubfilmview.h"

#include <QPainter>
#include <cmath>

#include "channels/filmstrip.h"
#include "channels/ui/kkstationview.h"
#include "controls/geometry.h"
#include "controls/resources.h"
#include "platform/notificationcenter.h"

namespace tonvera {
namespace {

constexpr const char* kStationChanged = "STATIONChanged";

// Film decoration: edge bands 5 high, sprocket holes 6 x 8 every 12 points between them.
constexpr qreal kEdge = 5;
constexpr qreal kHoleHeight = 8;
constexpr qreal kPitch = 12;
constexpr qreal kHoleWidth = 6;

}  // namespace

PubFilmView::PubFilmView(QWidget* parent)
    : KKTrackView(parent), cover_(ResourcePicture::load(QString::fromLatin1(kPlaceholderName))) {
  resize(static_cast<int>(film::kStripWidth), static_cast<int>(film::kStripHeight));
}

PubFilmView::~PubFilmView() = default;

void PubFilmView::updateStations() {
  const qreal h = height();
  for (int i = 0; i < static_cast<int>(channelList_.size()); ++i) {
    const PlistValue& record = channelList_[static_cast<size_t>(i)];
    auto* tile = new KKStationView(this);
    tile->setGeometry(
        geometry::frameFromBottomUp(film::tileX(i), film::kTileY, film::kTileSide, film::kTileSide, h));
    tile->setInfo(record);
    tile->setTag(i);
    tile->setPlaceholder(cover_);
    const std::string id = channelId(record);
    if (auto stored = pictures_.pictureFor(id)) {
      tile->setImage(*stored);
    } else if (!id.empty()) {
      downloadImageForIndex(i, id);
    }
    tile->addTarget([this](KKStationView* sender) { stationAction(sender); });
    tile->show();
  }
}

KKStationView* PubFilmView::tileAt(int index) const {
  for (KKStationView* tile : findChildren<KKStationView*>(Qt::FindDirectChildrenOnly)) {
    if (tile->tag() == index) return tile;
  }
  return nullptr;
}

void PubFilmView::stationAction(KKStationView* tile) {
  const int index = tile->tag();
  if (index < 0 || index >= static_cast<int>(channelList_.size())) return;
  NotificationCenter::defaultCenter().post(
      kStationChanged, this, PlistValue(PlistValue::Dict{{"0", channelList_[static_cast<size_t>(index)]}}));
}

void PubFilmView::downloadImageForIndex(int index, const std::string& channelId) {
  pictures_.downloadImageForIndex(index, channelId, [this](int tileIndex, std::optional<QImage> picture) {
    KKStationView* tile = tileAt(tileIndex);
    if (!tile) return;
    // Without a picture the tile keeps its placeholder rather than showing nothing.
    if (picture) tile->setImage(*picture);
    tile->update();
  });
}

void PubFilmView::setOriginX(double x) {
  originX_ = x;
  move(static_cast<int>(std::lround(x)), pos().y());
}

void PubFilmView::trackEntered(const QPointF& windowPos) {
  mouseEntered_ = true;
  doAction(windowPos);
}

void PubFilmView::trackMoved(const QPointF& windowPos) { doAction(windowPos); }

void PubFilmView::trackExited() { createTimers(false); }

void PubFilmView::hideEvent(QHideEvent* event) {
  createTimers(false);
  KKTrackView::hideEvent(event);
}

void PubFilmView::doAction(const QPointF& windowPos) {
  // The zones belong to the frame the strip is seen through.
  const QWidget* frame = parentWidget();
  const double x = frame ? frame->mapFrom(window(), windowPos).x() : windowPos.x();
  const double clipWidth = frame ? frame->width() : film::kClipWidth;
  const auto speed = film::speedAt(x, clipWidth);
  const film::Bounds bounds = film::scrollBounds(static_cast<int>(channelList_.size()), width(), clipWidth);
  if (!speed || bounds.least >= bounds.most) {
    createTimers(false);
    return;
  }
  speed_ = *speed;
  createTimers(true);
}

void PubFilmView::createTimers(bool start) {
  if (timer_) {
    timer_->stop();
    delete timer_;
    timer_ = nullptr;
  }
  if (!start) return;
  timer_ = new QTimer(this);
  timer_->setInterval(film::kTick);
  connect(timer_, &QTimer::timeout, this, &PubFilmView::moveActin);
  timer_->start();
}

void PubFilmView::moveActin() {
  const QWidget* frame = parentWidget();
  const double clipWidth = frame ? frame->width() : film::kClipWidth;
  setOriginX(film::nextOrigin(originX_, speed_,
                              film::scrollBounds(static_cast<int>(channelList_.size()), width(), clipWidth)));
}

void PubFilmView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const qreal w = width();
  const qreal h = height();
  const QColor film = QColor::fromRgbF(0, 0, 0, 0.5f);
  const QColor corner(0, 0, 0, 48);
  auto fill = [&](qreal x, qreal y, qreal rw, qreal rh, const QColor& c) {
    painter.fillRect(geometry::fromBottomUp(x, y, rw, rh, h), c);
  };
  fill(0, 0, w, kEdge, film);
  fill(0, kEdge + kHoleHeight, w, h - 2 * (kEdge + kHoleHeight), film);
  fill(0, h - kEdge, w, kEdge, film);
  // Sprocket rows: the film between the holes, and the corners of each hole.
  for (int k = 0; - 6 + kPitch * k + 6 < w; ++k) {
    const qreal a = -12 + kPitch * k;
    fill(a, kEdge, kHoleWidth, kHoleHeight, film);
    fill(a, h - kEdge - kHoleHeight, kHoleWidth, kHoleHeight, film);
    const qreal b = -6 + kPitch * k;
    for (const QPointF& p :
         {QPointF(b, 5), QPointF(b, 12), QPointF(b + 5, 5), QPointF(b + 5, 12), QPointF(b, h - 13),
          QPointF(b, h - 6), QPointF(b + 5, h - 13), QPointF(b + 5, h - 6)}) {
      fill(p.x(), p.y(), 1, 1, corner);
    }
  }
}

}  // namespace tonvera
