#include "taste/ui/xbutton.h"

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include "controls/resources.h"
#include "taste/ui/tastetableview.h"

namespace tonvera {
namespace {

constexpr int kColumns = 12;
constexpr int kRows = 3;

// The sheet cell of an index as (column, row counted from the top of the sheet).
QPoint cellOf(int index) { return index == 1 ? QPoint(8, 0) : QPoint(1, 2); }

}  // namespace

XButton* XButton::button(QWidget* parent) { return new XButton(parent); }

XButton::XButton(QWidget* parent) : QWidget(parent) {
  resize(kSize, kSize);
  setAttribute(Qt::WA_Hover);
}

void XButton::setIsOver(bool isOver) {
  isOver_ = isOver;
  update();
}

void XButton::setIndex(int index) {
  if (index == index_) return;
  index_ = index;
  update();
}

void XButton::paintEvent(QPaintEvent*) {
  const auto sheet = ResourcePicture::load(QStringLiteral("ICON20.png"));
  if (!sheet) return;
  QPainter painter(this);
  const qreal dpr = painter.device()->devicePixelRatioF();
  const qreal cw = sheet->size().width() / kColumns;
  const qreal ch = sheet->size().height() / kRows;
  const QPoint cell = cellOf(index_);
  // The sheet's rows count from the top here; cut() takes the cell counted from the bottom.
  const QRectF bottomUp(cell.x() * cw, (kRows - 1 - cell.y()) * ch, cw, ch);
  QPixmap mask = sheet->cut(bottomUp, dpr);
  if (mask.isNull()) return;
  QPixmap tinted(mask.size());
  tinted.setDevicePixelRatio(dpr);
  tinted.fill(Qt::transparent);
  {
    QPainter p(&tinted);
    p.drawPixmap(0, 0, mask);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(QRectF(QPointF(0, 0), QSizeF(mask.size()) / dpr),
               isOver_ ? QColor(106, 106, 106) : QColor::fromRgbF(1, 1, 1, 0.9f));
  }
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawPixmap(QRectF(rect()), tinted, QRectF(QPointF(0, 0), QSizeF(tinted.size())));
}

void XButton::mousePressEvent(QMouseEvent* event) { pressed_ = event->button() == Qt::LeftButton; }

void XButton::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (click && action_) action_();
}

void XButton::enterEvent(QEnterEvent* event) { reportHover(this, true, event->globalPosition()); }

void XButton::leaveEvent(QEvent*) { reportHover(this, false, QCursor::pos()); }

}  // namespace tonvera
