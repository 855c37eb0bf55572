// The two outlines the pages fill behind their titles and texts, given in the layouts' bottom-up
// rectangles (x, y, w, h) inside a parent of height `parentHeight` and answered in Qt's coordinates.
//
// Threads: pure functions; any thread.
#pragma once

#include <QPainterPath>
#include <QRectF>

namespace tonvera {

// The closed outline (x, y) -> (x + w, y) -> (x + w, y + h) -> (x, y + h).
QPainterPath rectanglePath(const QRectF& bottomUp, qreal parentHeight);

// A title tab: the rectangle with a small triangular pointer on its lower edge, 12 points wide and
// 7 deep, starting 46 points from its left end: (x, y) -> (x + 46, y) -> (x + 52, y - 7) ->
// (x + 58, y) -> (x + w, y) -> (x + w, y + h) -> (x, y + h), closed.
QPainterPath tabPathWithPointer(const QRectF& bottomUp, qreal parentHeight);

}  // namespace tonvera
