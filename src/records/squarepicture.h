// Squaring of artist pictures: the picture centred on a square canvas whose empty bands are filled
// with mirror images of the picture's own edge strips.
//
// Threads: pure function over its argument; any thread may call it (QImage/QPainter on an image
// need no GUI thread).
#pragma once

#include <QImage>

namespace tonvera {

// Answers a square picture of side max(w, h), RGBA 8 bits per channel, premultiplied.
//
// Wide or square (w >= h): pad = (w - h) / 2 rows (not rounded), strip = pad + 1. The top strip
// (the picture's top `strip` rows) is mirrored about the picture's top edge into the band above it,
// the bottom strip likewise below; then the picture is drawn with pad rows above it, covering the
// one row by which each band overlaps it.
//
// Tall (w < h): the picture is drawn first with pad columns to its left; the leftmost and rightmost
// `strip` columns are mirrored into the left and right bands (each band repeats the picture's
// outermost column); then each band gets a faint horizontal gradient in the average colour of its
// strip: alpha 0.1 from the band's first quarter, fading to transparent at its third quarter.
//
// A null picture gives a null picture.
QImage squarePicture(const QImage& picture);

}  // namespace tonvera
