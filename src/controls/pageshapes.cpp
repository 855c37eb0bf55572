#include "controls/pageshapes.h"

#include <QPolygonF>
#include <initializer_list>

#include "controls/geometry.h"

namespace tonvera {
namespace {

QPainterPath closedPath(std::initializer_list<QPointF> bottomUpPoints, qreal parentHeight) {
  QPolygonF polygon;
  for (const QPointF& p : bottomUpPoints) polygon << geometry::fromBottomUp(p, parentHeight);
  QPainterPath path;
  path.addPolygon(polygon);
  path.closeSubpath();
  return path;
}

}  // namespace

QPainterPath rectanglePath(const QRectF& r, qreal parentHeight) {
  const qreal x = r.x(), y = r.y(), w = r.width(), h = r.height();
  return closedPath({{x, y}, {x + w, y}, {x + w, y + h}, {x, y + h}}, parentHeight);
}

QPainterPath tabPathWithPointer(const QRectF& r, qreal parentHeight) {
  const qreal x = r.x(), y = r.y(), w = r.width(), h = r.height();
  return closedPath(
      {{x, y}, {x + 46, y}, {x + 52, y - 7}, {x + 58, y}, {x + w, y}, {x + w, y + h}, {x, y + h}},
      parentHeight);
}

}  // namespace tonvera
