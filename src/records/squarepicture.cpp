#include "records/squarepicture.h"

#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QTransform>
#include <algorithm>
#include <cmath>

namespace tonvera {
namespace {

// The mean colour (each channel in 0..1, not premultiplied) of columns [x0, x1) of `image`.
QColor averageColour(const QImage& image, int x0, int x1) {
  const QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
  double sum[4] = {0, 0, 0, 0};
  long count = 0;
  for (int y = 0; y < rgba.height(); ++y) {
    const uchar* row = rgba.constScanLine(y);
    for (int x = x0; x < x1; ++x) {
      for (int c = 0; c < 4; ++c) sum[c] += row[4 * x + c];
      ++count;
    }
  }
  if (count == 0) return QColor(0, 0, 0, 0);
  QColor colour;
  colour.setRgbF(static_cast<float>(sum[0] / count / 255.0), static_cast<float>(sum[1] / count / 255.0),
                 static_cast<float>(sum[2] / count / 255.0));
  return colour;
}

// Fills the band [bandStart, bandStart + pad) with the tall case's gradient: `colour` at alpha 0.1
// from a quarter of the band and transparent from three quarters on (the gradient pads past both
// ends).
void paintBandGradient(QPainter& painter, double bandStart, double pad, double height, QColor colour) {
  if (pad <= 0) return;
  QLinearGradient gradient(QPointF(bandStart + pad / 4.0, 0), QPointF(bandStart + 3.0 * pad / 4.0, 0));
  gradient.setSpread(QGradient::PadSpread);
  colour.setAlphaF(0.1f);
  gradient.setColorAt(0.0, colour);
  colour.setAlphaF(0.0f);
  gradient.setColorAt(1.0, colour);
  painter.save();
  painter.setClipRect(QRectF(bandStart, 0, pad, height));
  painter.fillRect(QRectF(bandStart, 0, pad, height), gradient);
  painter.restore();
}

}  // namespace

QImage squarePicture(const QImage& picture) {
  if (picture.isNull()) return {};
  const QImage source = picture.convertToFormat(QImage::Format_RGBA8888_Premultiplied);
  const int w = source.width();
  const int h = source.height();
  const int side = std::max(w, h);
  QImage canvas(side, side, QImage::Format_RGBA8888_Premultiplied);
  canvas.fill(Qt::transparent);

  QPainter painter(&canvas);
  painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  const double pad = std::abs(w - h) / 2.0;
  const double strip = pad + 1.0;

  if (w >= h) {
    // Source rows of a strip; a strip taller than the picture takes the whole picture, stretched over
    // the band.
    const double rows = std::min(strip, static_cast<double>(h));
    const double k = strip / rows;
    // Top band [0, pad + 1): source row coordinate s lands at y = pad + 1 - k * s.
    painter.save();
    painter.setTransform(QTransform(1, 0, 0, -k, 0, pad + 1.0));
    painter.drawImage(QRectF(0, 0, w, rows), source, QRectF(0, 0, w, rows));
    painter.restore();
    // Bottom band [pad + h - 1, pad + h - 1 + strip): s lands at y = pad + h - 1 + k * (h - s).
    painter.save();
    painter.setTransform(QTransform(1, 0, 0, -k, 0, pad + h - 1.0 + k * h));
    painter.drawImage(QRectF(0, h - rows, w, rows), source, QRectF(0, h - rows, w, rows));
    painter.restore();
    painter.drawImage(QPointF(0, pad), source);
  } else {
    painter.drawImage(QPointF(pad, 0), source);
    const double columns = std::min(strip, static_cast<double>(w));
    const double k = strip / columns;
    // Left band [0, pad + 1): source column s lands at x = pad + 1 - k * s.
    painter.save();
    painter.setTransform(QTransform(-k, 0, 0, 1, pad + 1.0, 0));
    painter.drawImage(QRectF(0, 0, columns, h), source, QRectF(0, 0, columns, h));
    painter.restore();
    // Right band [pad + w - 1, pad + w - 1 + strip): s lands at x = pad + w - 1 + k * (w - s).
    painter.save();
    painter.setTransform(QTransform(-k, 0, 0, 1, pad + w - 1.0 + k * w, 0));
    painter.drawImage(QRectF(w - columns, 0, columns, h), source, QRectF(w - columns, 0, columns, h));
    painter.restore();

    const int stripColumns = std::min(w, static_cast<int>(std::ceil(strip)));
    paintBandGradient(painter, 0.0, pad, side, averageColour(source, 0, stripColumns));
    paintBandGradient(painter, side - pad, pad, side, averageColour(source, w - stripColumns, w));
  }
  painter.end();
  return canvas;
}

}  // namespace tonvera
