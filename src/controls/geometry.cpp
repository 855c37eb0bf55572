#include "controls/geometry.h"

#include <algorithm>
#include <cmath>

namespace tonvera::geometry {

QRectF fromBottomUp(qreal x, qreal y, qreal w, qreal h, qreal parentHeight) {
  return QRectF(x, parentHeight - y - h, w, h);
}

QRectF fromBottomUp(const QRectF& r, qreal parentHeight) {
  return fromBottomUp(r.x(), r.y(), r.width(), r.height(), parentHeight);
}

QRect frameFromBottomUp(qreal x, qreal y, qreal w, qreal h, qreal parentHeight) {
  const QRectF r = fromBottomUp(x, y, w, h, parentHeight);
  return QRect(static_cast<int>(std::lround(r.x())), static_cast<int>(std::lround(r.y())),
               static_cast<int>(std::lround(r.width())), static_cast<int>(std::lround(r.height())));
}

QPointF fromBottomUp(const QPointF& p, qreal parentHeight) { return QPointF(p.x(), parentHeight - p.y()); }

QPointF toBottomUp(const QPointF& p, qreal parentHeight) { return QPointF(p.x(), parentHeight - p.y()); }

QRect movedStrip(int beforePx, int afterPx, qreal devicePixelRatio, int top, int height) {
  const int left = static_cast<int>(std::floor(std::min(beforePx, afterPx) / devicePixelRatio));
  const int right = static_cast<int>(std::ceil(std::max(beforePx, afterPx) / devicePixelRatio));
  return QRect(left, top, right - left, height);
}

QRectF sheetRect(qreal x, qreal y, qreal w, qreal h, qreal sheetHeight) {
  return fromBottomUp(x, y, w, h, sheetHeight);
}

}  // namespace tonvera::geometry
