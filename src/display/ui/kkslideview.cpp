#include "display/ui/kkslideview.h"

#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "controls/geometry.h"

namespace tonvera {
namespace {

const QColor kTrackColor = QColor::fromRgbF(0.839f, 0.824f, 0.839f);
const QColor kPlayedColor = QColor::fromRgbF(0.388f, 0.396f, 0.388f);
constexpr qreal kBarY = 2;  // from the bottom
constexpr qreal kBarHeight = 2;

}  // namespace

KKSlideView::KKSlideView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setCursor(Qt::PointingHandCursor);
}

void KKSlideView::addTarget(Action action) {
  action_ = std::move(action);
  setEnabled(true);
}

void KKSlideView::sendAction() {
  if (action_) action_(this);
}

int KKSlideView::playedPixels(double percent) const {
  const double w = width() * std::clamp(percent, 0.0, 100.0) / 100.0;
  return static_cast<int>(std::lround(w * devicePixelRatioF()));
}

void KKSlideView::setProgress(double percent) {
  if (isDown_) return;
  const int before = playedPixels(progress_);
  const int after = playedPixels(percent);
  progress_ = percent;
  if (after == before) return;
  // Only the stretch of the bar that changed colour (the played part's end falls on whole device
  // pixels).
  const QRect bar = geometry::fromBottomUp(0, kBarY, width(), kBarHeight, height()).toAlignedRect();
  update(geometry::movedStrip(before, after, devicePixelRatioF(), bar.top(), bar.height()));
}

void KKSlideView::upDateWithPoint(const QPointF& local) {
  if (width() <= 0) return;
  progress_ = local.x() * 100.0 / width();
  update();
}

void KKSlideView::enterEvent(QEnterEvent* event) {
  isEntered_ = true;
  update();
  sendAction();
  QWidget::enterEvent(event);
}

void KKSlideView::leaveEvent(QEvent* event) {
  isEntered_ = false;
  update();
  sendAction();
  QWidget::leaveEvent(event);
}

void KKSlideView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  upDateWithPoint(event->position());
  isDown_ = true;
  update();
  sendAction();
}

void KKSlideView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton) || !isDown_) {
    event->ignore();  // plain moves belong to the page behind
    return;
  }
  upDateWithPoint(event->position());
  sendAction();
}

void KKSlideView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !isDown_) return;
  isSeek_ = true;
  isDown_ = false;
  update();
  sendAction();
  isSeek_ = false;
}

void KKSlideView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const qreal w = width();
  painter.fillRect(geometry::fromBottomUp(0, kBarY, w, kBarHeight, height()), kTrackColor);
  const qreal played = w * progress_ / 100.0;
  if (played > 0) {
    painter.fillRect(geometry::fromBottomUp(0, kBarY, std::min(played, w), kBarHeight, height()),
                     kPlayedColor);
  }
}

}  // namespace tonvera
