#include "display/ui/slideshowtransitions.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <random>

namespace tonvera::slideshow {
namespace {

constexpr qreal kPi = std::numbers::pi_v<qreal>;

qreal smooth(qreal t) { return t * t * (3 - 2 * t); }

void drawPicture(QPainter& p, const QRectF& r, const QImage& image) {
  if (!image.isNull()) p.drawImage(r, image);
}

// Opacity 0..255 of a spot of grey level g (0..255) at time t: spots turn in the order of their
// grey level, each over a soft band, so t = 0 shows none and t = 1 all.
int thresholdAlpha(int g, qreal t, qreal soft) {
  const qreal level = g / 255.0;
  const qreal a = (t * (1 + soft) - level) / soft;
  return static_cast<int>(std::clamp(a, 0.0, 1.0) * 255);
}

// A picture of `size` in the scratch layer, reused from frame to frame.
QImage& layerOf(TransitionInputs::Scratch& scratch, const QSize& size, qreal dpr) {
  if (scratch.layer.size() != size || scratch.layer.format() != QImage::Format_ARGB32_Premultiplied) {
    scratch.layer = QImage(size, QImage::Format_ARGB32_Premultiplied);
  }
  scratch.layer.setDevicePixelRatio(dpr);
  return scratch.layer;
}

// The grey levels at `size`: scaled once for each mask and size, then taken from the scratch.
const QImage& levelsAt(TransitionInputs::Scratch& scratch, const QImage& levels, const QSize& size) {
  if (levels.size() == size) return levels;
  if (scratch.levels.size() != size || scratch.levelsSource.cacheKey() != levels.cacheKey()) {
    scratch.levelsSource = levels;
    scratch.levels = levels.scaled(size);
  }
  return scratch.levels;
}
// Fine grain for the dissolve: fixed random grey levels in 2 x 2 pixel blocks.
const QImage& grain() {
  static const QImage image = [] {
    QImage g(128, 128, QImage::Format_Grayscale8);
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int> level(0, 255);
    for (int y = 0; y < g.height(); ++y) {
      for (int x = 0; x < g.width(); ++x) g.scanLine(y)[x] = static_cast<uchar>(level(rng));
    }
    return g;
  }();
  return image;
}

// The new picture appears spot by spot in the order of the grey levels (scaled to its size), each
// spot over a soft band. A table gives each grey level's opacity for the frame, so the frame costs
// one pass over the pixels.
void throughGreyLevels(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to,
                       const QImage& levels, qreal soft, TransitionInputs::Scratch& scratch) {
  drawPicture(p, r, from);
  if (to.isNull()) return;
  if (levels.isNull()) {  // no mask: the change happens at once half-way
    if (t >= 0.5) drawPicture(p, r, to);
    return;
  }
  std::array<int, 256> alphaOf;
  int least = 255, most = 0;
  for (int g = 0; g < 256; ++g) {
    alphaOf[static_cast<std::size_t>(g)] = thresholdAlpha(g, t, soft);
    least = std::min(least, alphaOf[static_cast<std::size_t>(g)]);
    most = std::max(most, alphaOf[static_cast<std::size_t>(g)]);
  }
  if (most == 0) return;  // no spot has turned yet
  if (least >= 255) {     // every spot has turned
    drawPicture(p, r, to);
    return;
  }
  const QImage source = to.format() == QImage::Format_ARGB32_Premultiplied
                            ? to
                            : to.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  const QImage& scaled = levelsAt(scratch, levels, source.size());
  QImage& out = layerOf(scratch, source.size(), source.devicePixelRatio());
  for (int y = 0; y < out.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(source.constScanLine(y));
    const uchar* level = scaled.constScanLine(y);
    auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
    for (int x = 0; x < out.width(); ++x) {
      const int a = alphaOf[level[x]];
      const QRgb c = in[x];
      if (a >= 255) {
        line[x] = c;
      } else if (a <= 0) {
        line[x] = 0;
      } else {
        line[x] = qRgba(qRed(c) * a / 255, qGreen(c) * a / 255, qBlue(c) * a / 255, qAlpha(c) * a / 255);
      }
    }
  }
  p.drawImage(r, out);
}

// Half-plane {p : dot(p - origin, u) <= s} as a polygon large enough to cover `r`.
QPolygonF halfPlane(const QRectF& r, QPointF origin, QPointF u, qreal s) {
  const qreal big = 4 * (r.width() + r.height()) + 1;
  const QPointF v(-u.y(), u.x());
  const QPointF edge = origin + u * s;
  return QPolygonF({edge + v * big, edge + v * big - u * big, edge - v * big - u * big, edge - v * big});
}

QPainterPath pathOf(const QPolygonF& polygon) {
  QPainterPath path;
  path.addPolygon(polygon);
  path.closeSubpath();
  return path;
}

void fade(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to) {
  if (!from.isNull()) {
    p.setOpacity(1 - t);
    drawPicture(p, r, from);
  }
  p.setOpacity(t);
  drawPicture(p, r, to);
  p.setOpacity(1);
}

void moveIn(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to) {
  const qreal e = smooth(t);
  drawPicture(p, r, from);
  drawPicture(p, r.translated(-r.width() * (1 - e), 0), to);
}

void push(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to) {
  const qreal e = smooth(t);
  drawPicture(p, r.translated(r.width() * e, 0), from);
  drawPicture(p, r.translated(-r.width() * (1 - e), 0), to);
}

void reveal(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to) {
  const qreal e = smooth(t);
  drawPicture(p, r, to);
  if (!from.isNull()) {
    drawPicture(p, r.translated(r.width() * e, 0), from);
    // the leaving picture's shadow on the new one
    QLinearGradient shadow(r.left() + r.width() * e, 0, r.left() + r.width() * e - 14, 0);
    shadow.setColorAt(0, QColor(0, 0, 0, static_cast<int>(90 * (1 - e))));
    shadow.setColorAt(1, QColor(0, 0, 0, 0));
    p.fillRect(QRectF(r.left() + r.width() * e - 14, r.top(), 14, r.height()), shadow);
  }
}

void copyMachine(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to) {
  const qreal bar = r.width() * 0.14;
  const qreal edge = r.left() - bar + t * (r.width() + 2 * bar);
  drawPicture(p, r, from);
  p.save();
  p.setClipRect(QRectF(r.left(), r.top(), std::max<qreal>(0, edge - r.left()), r.height()),
                Qt::IntersectClip);
  drawPicture(p, r, to);
  p.restore();
  // the scanning light, brightest at its leading edge
  QLinearGradient light(edge, 0, edge + bar, 0);
  light.setColorAt(0, QColor::fromRgbF(0.6f, 1.0f, 0.8f, 0.0f));
  light.setColorAt(0.75, QColor::fromRgbF(0.75f, 1.0f, 0.9f, 0.75f));
  light.setColorAt(0.9, QColor::fromRgbF(1, 1, 1, 0.95f));
  light.setColorAt(1, QColor::fromRgbF(0.6f, 1.0f, 0.8f, 0.0f));
  p.fillRect(QRectF(edge, r.top(), bar, r.height()).intersected(r), light);
}

void flash(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to) {
  const bool first = t < 0.5;
  drawPicture(p, r, first ? from : to);
  const qreal strength = first ? t * 2 : (1 - t) * 2;
  if (strength <= 0) return;
  const QPointF c = r.center();
  const qreal radius = std::hypot(r.width(), r.height()) * (0.25 + 0.5 * strength);
  QRadialGradient burst(c, radius);
  burst.setColorAt(0, QColor::fromRgbF(1, 1, 1, static_cast<float>(strength)));
  burst.setColorAt(0.5, QColor::fromRgbF(1, 0.97f, 0.9f, static_cast<float>(strength * strength)));
  burst.setColorAt(1, QColor::fromRgbF(1, 1, 1, 0));
  p.fillRect(r, burst);
  // rays from the centre
  p.save();
  p.setClipRect(r, Qt::IntersectClip);
  p.setPen(
      QPen(QColor::fromRgbF(1, 1, 1, static_cast<float>(0.5 * strength)), 2, Qt::SolidLine, Qt::RoundCap));
  for (int i = 0; i < 16; ++i) {
    const qreal a = i * kPi / 8 + t;
    const qreal inner = radius * 0.15;
    const qreal outer = radius * (0.55 + 0.15 * (i % 3));
    p.drawLine(c + QPointF(std::cos(a), std::sin(a)) * inner, c + QPointF(std::cos(a), std::sin(a)) * outer);
  }
  p.restore();
}

void mod(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to) {
  drawPicture(p, r, from);
  if (t <= 0) return;
  const int stripes = 12;
  const qreal radius = std::hypot(r.width(), r.height());
  const QPointF c = r.center();
  const qreal span = 360.0 / stripes;
  const qreal open = span * smooth(t);
  const qreal turn = 60 * t;
  QPainterPath wedges;
  wedges.setFillRule(Qt::WindingFill);
  for (int i = 0; i < stripes; ++i) {
    const qreal start = i * span + turn;
    wedges.moveTo(c);
    wedges.arcTo(QRectF(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius), start, open);
    wedges.closeSubpath();
  }
  p.save();
  p.setClipPath(wedges, Qt::IntersectClip);
  drawPicture(p, r, to);
  p.restore();
}

void pageCurl(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to,
              const QImage& shading) {
  // The page turns from the top-left corner towards the lower right (-45 degrees with y up).
  const QPointF u(std::numbers::sqrt2 / 2, std::numbers::sqrt2 / 2);
  const QPointF origin = r.topLeft();
  const qreal length = (r.width() + r.height()) * std::numbers::sqrt2 / 2;
  const qreal s = smooth(t) * length;
  const QPolygonF turned = QPolygonF(r).intersected(halfPlane(r, origin, u, s));
  const QPainterPath turnedPath = pathOf(turned);
  QPainterPath whole;
  whole.addRect(r);

  // What is still on the old page, then the new picture where the page has turned away.
  p.save();
  p.setClipPath(whole.subtracted(turnedPath), Qt::IntersectClip);
  drawPicture(p, r, from);
  p.restore();
  p.save();
  p.setClipPath(turnedPath, Qt::IntersectClip);
  drawPicture(p, r, to);
  p.restore();
  if (s <= 0 || s >= length) return;

  // The turned part, mirrored over the fold, shows the page's back.
  QPolygonF flap;
  for (const QPointF& q : turned) {
    const qreal d = (q.x() - origin.x()) * u.x() + (q.y() - origin.y()) * u.y();
    flap << q + u * (2 * (s - d));
  }
  QPainterPath flapPath = pathOf(flap).intersected(whole);
  // shadow the flap casts on the old page
  const QPointF fold = origin + u * s;
  p.save();
  p.setClipPath(whole.subtracted(turnedPath), Qt::IntersectClip);
  QLinearGradient cast(fold, fold + u * (2 * s + 10));
  cast.setColorAt(0, QColor(0, 0, 0, 70));
  cast.setColorAt(1, QColor(0, 0, 0, 0));
  p.fillPath(flapPath.translated(u * 4), cast);
  p.restore();
  p.save();
  p.setClipPath(flapPath, Qt::IntersectClip);
  const QRectF flapBox = flapPath.boundingRect();
  if (!shading.isNull()) {
    p.drawImage(flapBox, shading);
  } else {
    p.fillRect(flapBox, QColor(236, 232, 250));
  }
  // darker along the fold, lighter towards the page's edge
  QLinearGradient curve(fold, fold + u * std::max<qreal>(s, 1));
  curve.setColorAt(0, QColor(40, 30, 80, 110));
  curve.setColorAt(0.35, QColor(255, 255, 255, 40));
  curve.setColorAt(1, QColor(40, 30, 80, 30));
  p.fillRect(flapBox, curve);
  p.restore();
}

void ripple(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to,
            const QImage& shading) {
  const qreal band = 22;
  const QPointF c = r.center();
  const qreal maxRadius = std::hypot(r.width(), r.height()) / 2 + band;
  const qreal radius = t * maxRadius;
  drawPicture(p, r, from);
  QPainterPath disc;
  disc.addEllipse(c, radius, radius);
  p.save();
  p.setClipRect(r, Qt::IntersectClip);
  p.save();
  p.setClipPath(disc, Qt::IntersectClip);
  drawPicture(p, r, to);
  p.restore();
  const qreal strength = std::sin(kPi * t);
  if (strength > 0.001) {
    // the wave: shaded rings just outside the new picture's edge, fading outwards
    for (int i = 0; i < 3; ++i) {
      const qreal rr = radius + band * (0.3 + i * 0.45);
      QPainterPath ring;
      ring.addEllipse(c, rr + 3, rr + 3);
      QPainterPath inner;
      inner.addEllipse(c, std::max<qreal>(0, rr - 3), std::max<qreal>(0, rr - 3));
      ring = ring.subtracted(inner);
      p.save();
      p.setClipPath(ring, Qt::IntersectClip);
      p.setOpacity(strength * (0.75 - 0.22 * i));
      if (!shading.isNull()) {
        p.drawImage(r, shading);
      } else {
        p.fillRect(r, QColor(236, 232, 250));
      }
      p.restore();
    }
    p.setOpacity(1);
  }
  p.restore();
}

void swipe(QPainter& p, const QRectF& r, qreal t, const QImage& from, const QImage& to,
           TransitionInputs::Scratch& scratch) {
  // A soft edge runs diagonally from the top-left corner; a pale band rides on it.
  const QPointF u(std::numbers::sqrt2 / 2, std::numbers::sqrt2 / 2);
  const qreal length = (r.width() + r.height()) * std::numbers::sqrt2 / 2;
  const qreal soft = length * 0.3;
  const qreal edge = t * (length + soft);
  drawPicture(p, r, from);
  if (!to.isNull() && t > 0) {
    QImage& layer = layerOf(scratch, to.size(), to.devicePixelRatio());
    layer.fill(Qt::transparent);
    {
      QPainter lp(&layer);
      const QRectF local(QPointF(0, 0), r.size());
      lp.drawImage(local, to);
      lp.setCompositionMode(QPainter::CompositionMode_DestinationIn);
      QLinearGradient g(u * (edge - soft), u * edge);
      g.setColorAt(0, QColor(0, 0, 0, 255));
      g.setColorAt(1, QColor(0, 0, 0, 0));
      lp.fillRect(local, g);
    }
    p.drawImage(r, layer);
  }
  const qreal strength = std::sin(kPi * t);
  if (strength > 0.001) {
    const QPointF o = r.topLeft();
    QLinearGradient band(o + u * (edge - soft), o + u * edge);
    band.setColorAt(0, QColor(255, 255, 255, 0));
    band.setColorAt(0.5, QColor(255, 255, 255, static_cast<int>(110 * strength)));
    band.setColorAt(1, QColor(255, 255, 255, 0));
    p.fillRect(r, band);
  }
}

}  // namespace

const char* styleName(unsigned style) {
  static const char* const kNames[kStyleCount] = {"fade",         "move-in",      "push",     "reveal",
                                                  "copy-machine", "disintegrate", "dissolve", "flash",
                                                  "mod",          "page-curl",    "ripple",   "swipe"};
  return style < kStyleCount ? kNames[style] : kNames[10];
}

QImage prepareMask(const QImage& mask, const QSize& pixels) {
  if (mask.isNull() || pixels.isEmpty()) return {};
  return mask.convertToFormat(QImage::Format_Grayscale8)
      .scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void paintTransition(QPainter& painter, unsigned style, qreal t, const QRectF& bounds, const QImage& from,
                     const QImage& to, const TransitionInputs& inputs) {
  t = std::clamp<qreal>(t, 0, 1);
  painter.save();
  painter.setClipRect(bounds, Qt::IntersectClip);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.setRenderHint(QPainter::Antialiasing);
  switch (style < kStyleCount ? style : 10) {
    case 0:
      fade(painter, bounds, t, from, to);
      break;
    case 1:
      moveIn(painter, bounds, t, from, to);
      break;
    case 2:
      push(painter, bounds, t, from, to);
      break;
    case 3:
      reveal(painter, bounds, t, from, to);
      break;
    case 4:
      copyMachine(painter, bounds, t, from, to);
      break;
    case 5:
      throughGreyLevels(painter, bounds, t, from, to, inputs.mask, 0.15, inputs.scratch);
      break;
    case 6:
      throughGreyLevels(painter, bounds, t, from, to, grain(), 0.05, inputs.scratch);
      break;
    case 7:
      flash(painter, bounds, t, from, to);
      break;
    case 8:
      mod(painter, bounds, t, from, to);
      break;
    case 9:
      pageCurl(painter, bounds, t, from, to, inputs.shading);
      break;
    case 10:
      ripple(painter, bounds, t, from, to, inputs.shading);
      break;
    case 11:
      swipe(painter, bounds, t, from, to, inputs.scratch);
      break;
    default:
      break;
  }
  painter.restore();
}

}  // namespace tonvera::slideshow
