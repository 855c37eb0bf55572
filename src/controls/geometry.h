// The page layouts give rectangles in points with y growing upwards from the bottom edge of the
// parent; Qt's y grows downwards from the top. These helpers are the only place that converts
// between the two. Sprite sheets count y from the bottom of the picture in the same way.
//
// Threads: any (pure functions).
#pragma once

#include <QPointF>
#include <QRect>
#include <QRectF>

namespace tonvera::geometry {

// A bottom-up rectangle (x, y, w, h) inside a parent of height `parentHeight` as Qt's top-down
// rectangle.
QRectF fromBottomUp(qreal x, qreal y, qreal w, qreal h, qreal parentHeight);
QRectF fromBottomUp(const QRectF& bottomUp, qreal parentHeight);
// The same, rounded to whole points (for widget frames).
QRect frameFromBottomUp(qreal x, qreal y, qreal w, qreal h, qreal parentHeight);

// A bottom-up point inside a parent of height `parentHeight` as a point in Qt's coordinates (for
// outlines the layouts give point by point).
QPointF fromBottomUp(const QPointF& bottomUp, qreal parentHeight);

// A point in Qt's top-down coordinates of a parent of height `parentHeight` as a bottom-up point
// (for the hit tests that the layouts state in bottom-up coordinates).
QPointF toBottomUp(const QPointF& topDown, qreal parentHeight);

// The strip between two x positions in device pixels (either order), widened to whole points, over
// `height` points from `top`: what a moving edge (a fill, a bar's end) changed. Successive strips of
// one moving edge meet without overlapping, so a paint never covers pixels still on their way to
// the display server, which would make it wait for them.
QRect movedStrip(int beforePx, int afterPx, qreal devicePixelRatio, int top, int height);

// A sprite-sheet rectangle counted from the bottom of a sheet of height `sheetHeight` as a
// rectangle of the picture in Qt's coordinates (logical points of the sheet).
QRectF sheetRect(qreal x, qreal y, qreal w, qreal h, qreal sheetHeight);

}  // namespace tonvera::geometry
