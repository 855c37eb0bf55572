#include "controls/tabview.h"

#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <array>

#include "controls/fonts.h"
#include "controls/geometry.h"

namespace tonvera {
namespace {

struct Item {
  const char* text;
  int y;
};
constexpr std::array<Item, TabView::kItemCount> kItems{{
    {QT_TRANSLATE_NOOP("tonvera::TabView", "喜欢"), 184},    // liked artists
    {QT_TRANSLATE_NOOP("tonvera::TabView", "不喜欢"), 160},  // disliked artists
    {QT_TRANSLATE_NOOP("tonvera::TabView", "添加"), 136},    // add artists
    {QT_TRANSLATE_NOOP("tonvera::TabView", "喜欢"), 66},     // liked music
    {QT_TRANSLATE_NOOP("tonvera::TabView", "不喜欢"), 42},   // disliked music
}};

// Item rectangles: x 67 when drawn, bounds width - 78 when hit-tested; 60 x 24 either way.
constexpr int kItemX = 67;
constexpr int kHitInset = 78;
constexpr int kItemWidth = 60;
constexpr int kItemHeight = 24;

}  // namespace

TabView::TabView(QWidget* parent, Gradient gradient) : QWidget(parent) {
  resize(kWidth, kHeight);
  if (gradient == Gradient::Layout) {
    stops_ = {{0.0, QColor::fromRgbF(0.8f, 0.878f, 0.957f)},
              {0.5, QColor::fromRgbF(0.114f, 0.612f, 0.843f)},
              {1.0, QColor::fromRgbF(0.0f, 0.196f, 0.494f)}};
  } else {
    stops_ = {{0.0, QColor::fromRgbF(1.0f, 0.624f, 0.294f, 0.05f)},
              {1.0, QColor::fromRgbF(1.0f, 0.624f, 0.294f, 0.7f)}};
  }
}

QString TabView::itemText(int index) {
  return index >= 0 && index < kItemCount ? tr(kItems[static_cast<size_t>(index)].text)
                                          : QString();
}

int TabView::itemY(int index) {
  return index >= 0 && index < kItemCount ? kItems[static_cast<size_t>(index)].y : 0;
}

void TabView::setSelectIndex(int index) {
  selectIndex_ = index;
  update();
}

int TabView::itemAt(const QPointF& p) const {
  const qreal x = width() - kHitInset;
  for (int i = kItemCount - 1; i >= 0; --i) {
    const qreal y = itemY(i);
    // Edges as a rectangle test counts them: the lower and left edges inside, the others outside.
    if (p.x() >= x && p.x() < x + kItemWidth && p.y() >= y && p.y() < y + kItemHeight) {
      return i;
    }
  }
  return -1;
}

void TabView::mouseReleaseEvent(QMouseEvent* event) {
  QWidget* win = window();
  const QPointF windowPoint = geometry::toBottomUp(mapTo(win, event->position()), win->height());
  const int index = itemAt(windowPoint);
  if (index < 0 || index == selectIndex_) {
    return;
  }
  setSelectIndex(index);
  if (delegate_ != nullptr) {
    delegate_->tabViewSelectIndex(index);
  }
}

void TabView::drawHighlight(QPainter& painter, const QRectF& r) {
  const qreal h = height();
  const QRectF area = geometry::fromBottomUp(r, h);
  painter.save();
  painter.setClipRect(area);
  QLinearGradient gradient(area.x() + area.width() * 0.25, 0, area.x() + area.width() * 0.75, 0);
  gradient.setStops(stops_);
  gradient.setSpread(QGradient::PadSpread);  // extended before its start and after its end
  painter.fillRect(area, gradient);
  painter.restore();

  const qreal right = r.x() + r.width();
  QPainterPath notch;
  notch.moveTo(geometry::fromBottomUp(right - 12, r.y() + 12, 0, 0, h).topLeft());
  notch.lineTo(geometry::fromBottomUp(right, r.y(), 0, 0, h).topLeft());
  notch.lineTo(geometry::fromBottomUp(right, r.y() + r.height(), 0, 0, h).topLeft());
  notch.closeSubpath();
  painter.fillPath(notch, Qt::white);
}

void TabView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  const qreal h = height();
  painter.fillRect(geometry::fromBottomUp(0, 0, kWidth, kHeight, h), QColor::fromRgbF(1, 1, 1, 0.7f));
  if (selectIndex_ >= 0 && selectIndex_ < kItemCount) {
    drawHighlight(painter, QRectF(0, itemY(selectIndex_) + 2, kWidth, kItemHeight));
  }
  painter.setPen(Qt::black);
  painter.setFont(systemFont(26));
  painter.drawText(geometry::fromBottomUp(20, 210, 100, 30, h), Qt::AlignLeft | Qt::AlignTop,
                   tr("艺人"));
  painter.drawText(geometry::fromBottomUp(20, 90, 100, 30, h), Qt::AlignLeft | Qt::AlignTop,
                   tr("音乐"));
  painter.setFont(systemFont(16));
  for (int i = 0; i < kItemCount; ++i) {
    painter.drawText(geometry::fromBottomUp(kItemX, itemY(i), kItemWidth, kItemHeight, h),
                     Qt::AlignRight | Qt::AlignTop | Qt::TextDontClip, itemText(i));
  }
}

}  // namespace tonvera
