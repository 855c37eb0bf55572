// The twelve changes of the cover slideshow, each painted with QPainter as one frame at a time
// t (0: only the old picture, 1: only the new one), in the order the slideshow cycles them:
//   0 fade, 1 move-in from the left, 2 push from the left, 3 reveal from the left,
//   4 copy machine (a light bar sweeps left to right), 5 disintegrate through the mask picture,
//   6 dissolve (fine grain), 7 flash from the centre, 8 mod (radial stripes opening from the
//   centre), 9 page curl at -45 degrees with the shading picture on the page's back, 10 ripple from
//   the centre with the shading picture in its wave, 11 swipe (a soft diagonal edge).
// Styles 12 and above paint as style 10.
//
// Threads: any thread with its own painter and its own TransitionInputs (the static grain is built
// once, thread safe).
#pragma once

#include <QImage>
#include <QRectF>

class QPainter;

namespace tonvera::slideshow {

inline constexpr unsigned kStyleCount = 12;
// Every change lasts this long (milliseconds).
inline constexpr int kTransitionMs = 1000;

// The pictures some styles use, prepared at the size of the frame in device pixels, and what the
// frames of one change keep from one to the next.
struct TransitionInputs {
  QImage mask;     // style 5: grey levels, dark spots turn first (Format_Grayscale8); null: uniform
  QImage shading;  // styles 9 and 10; null: a plain light shade

  // Kept by paintTransition between frames, so that a frame neither scales a mask nor allocates a
  // picture: the grey levels at the frame's size (made once per size and mask), and the layer the
  // new picture is masked in. Painting with the same inputs gives the same frame as with fresh ones.
  struct Scratch {
    QImage levelsSource;  // the mask or grain the levels were made from
    QImage levels;        // it at the frame's size
    QImage layer;         // ARGB32 premultiplied, the frame's size
  };
  mutable Scratch scratch;
};

// The name of a style, for logs and tests ("fade", "move-in", ...).
const char* styleName(unsigned style);

// Paints the frame at `t` (clamped to 0..1) of the change from `from` to `to` over `bounds` (the
// painter's logical coordinates). Either picture may be null (an empty area). Both pictures, when
// present, are already prepared to the bounds' size at the painter's device ratio.
void paintTransition(QPainter& painter, unsigned style, qreal t, const QRectF& bounds, const QImage& from,
                     const QImage& to, const TransitionInputs& inputs);

// The mask picture as grey levels scaled to `pixels` (smooth scaling).
QImage prepareMask(const QImage& mask, const QSize& pixels);

}  // namespace tonvera::slideshow
