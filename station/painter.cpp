#include "station/painter.h"

#include <QBuffer>
#include <QColor>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <limits>

namespace tonvera::station {

namespace {

// Small deterministic generator (xorshift32); never 0.
class Dice {
 public:
  explicit Dice(std::uint32_t seed) : state_(seed ? seed : 0x9E3779B9u) {}
  std::uint32_t next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return state_;
  }
  double unit() { return (next() >> 8) / double(1u << 24); }  // [0, 1)
  int range(int lo, int hi) { return lo + static_cast<int>(unit() * (hi - lo + 1)); }

 private:
  std::uint32_t state_;
};

QColor hsv(double h, double s, double v, double a = 1.0) {
  h -= std::floor(h);  // hues wrap around
  return QColor::fromHsvF(static_cast<float>(h), static_cast<float>(std::clamp(s, 0.0, 1.0)),
                          static_cast<float>(std::clamp(v, 0.0, 1.0)), static_cast<float>(std::clamp(a, 0.0, 1.0)));
}

std::string encode(const QImage& image, const char* format, int quality) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, format, quality)) return {};
  return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

}  // namespace

std::uint32_t seedOf(std::string_view text) {
  std::uint32_t h = 2166136261u;  // FNV-1a
  for (unsigned char c : text) {
    h ^= c;
    h *= 16777619u;
  }
  return h;
}

QImage paintCover(std::uint32_t seed, int size) {
  Dice dice(seed);
  QImage image(size, size, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double hue = dice.unit();
  QLinearGradient background(0, 0, size, size);
  background.setColorAt(0, hsv(hue, 0.55, 0.95));
  background.setColorAt(1, hsv(hue + 0.18, 0.75, 0.45));
  p.fillRect(image.rect(), background);
  const int style = dice.range(0, 2);
  if (style == 0) {  // overlapping discs
    for (int i = 0; i < 9; ++i) {
      const double r = size * (0.08 + 0.22 * dice.unit());
      const QPointF c(size * dice.unit(), size * dice.unit());
      p.setPen(Qt::NoPen);
      p.setBrush(hsv(hue + 0.5 * dice.unit(), 0.5, 1.0, 0.35));
      p.drawEllipse(c, r, r);
    }
  } else if (style == 1) {  // diagonal bands
    p.translate(size / 2.0, size / 2.0);
    p.rotate(dice.range(-60, 60));
    for (int i = -6; i <= 6; ++i) {
      p.fillRect(QRectF(i * size / 6.0, -size, size / 14.0 * (1 + dice.unit()), 2.0 * size),
                 hsv(hue + 0.1 * i, 0.4, 1.0, 0.3));
    }
    p.resetTransform();
  } else {  // a record with grooves
    const QPointF c(size / 2.0, size / 2.0);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(20, 20, 24));
    p.drawEllipse(c, size * 0.42, size * 0.42);
    p.setBrush(Qt::NoBrush);
    for (int i = 0; i < 14; ++i) {
      p.setPen(QPen(QColor(70, 70, 80, 120), 1.0));
      const double r = size * (0.16 + 0.018 * i);
      p.drawEllipse(c, r, r);
    }
    p.setPen(Qt::NoPen);
    p.setBrush(hsv(hue + 0.5, 0.7, 0.95));
    p.drawEllipse(c, size * 0.13, size * 0.13);
  }
  // A soft light from a corner gives every cover some depth.
  QRadialGradient light(QPointF(size * 0.2, size * 0.15), size * 0.9);
  light.setColorAt(0, QColor(255, 255, 255, 60));
  light.setColorAt(1, QColor(255, 255, 255, 0));
  p.fillRect(image.rect(), light);
  return image;
}

QImage paintPortrait(std::uint32_t seed, int width, int height) {
  Dice dice(seed);
  QImage image(width, height, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double hue = dice.unit();
  QLinearGradient background(0, 0, 0, height);
  background.setColorAt(0, hsv(hue, 0.35, 0.98));
  background.setColorAt(1, hsv(hue + 0.08, 0.6, 0.6));
  p.fillRect(image.rect(), background);
  for (int i = 0; i < 5; ++i) {  // stage lights
    p.setPen(Qt::NoPen);
    p.setBrush(hsv(hue + 0.3 * dice.unit(), 0.3, 1.0, 0.25));
    const double r = height * (0.05 + 0.1 * dice.unit());
    p.drawEllipse(QPointF(width * dice.unit(), height * 0.4 * dice.unit()), r, r);
  }
  const double cx = width * (0.4 + 0.2 * dice.unit());
  const QColor figure = hsv(hue + 0.5, 0.3, 0.18);
  p.setBrush(figure);
  const double head = height * 0.16;
  p.drawEllipse(QPointF(cx, height * 0.42), head, head * 1.15);
  QPainterPath shoulders;
  shoulders.moveTo(cx - height * 0.42, height);
  shoulders.cubicTo(cx - height * 0.38, height * 0.66, cx - height * 0.1, height * 0.62, cx, height * 0.62);
  shoulders.cubicTo(cx + height * 0.1, height * 0.62, cx + height * 0.38, height * 0.66, cx + height * 0.42, height);
  shoulders.closeSubpath();
  p.drawPath(shoulders);
  return image;
}

QImage paintChannelPicture(std::uint32_t seed, int size) {
  Dice dice(seed);
  QImage image(size, size, QImage::Format_RGB32);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const double hue = dice.unit();
  QLinearGradient background(0, 0, size, 0);
  background.setColorAt(0, hsv(hue, 0.7, 0.55));
  background.setColorAt(1, hsv(hue + 0.12, 0.6, 0.85));
  p.fillRect(image.rect(), background);
  const int waves = dice.range(3, 6);
  for (int w = 0; w < waves; ++w) {
    QPainterPath path;
    const double base = size * (0.25 + 0.5 * w / waves);
    const double amp = size * (0.04 + 0.06 * dice.unit());
    const double freq = 1.0 + 2.0 * dice.unit();
    for (int x = 0; x <= size; x += 4) {
      const QPointF point(x, base + amp * std::sin(freq * 6.2831853 * x / size + w));
      if (x == 0) path.moveTo(point);
      else path.lineTo(point);
    }
    p.setPen(QPen(hsv(hue + 0.5 + 0.05 * w, 0.25, 1.0, 0.7), size / 60.0 + 1));
    p.setBrush(Qt::NoBrush);
    p.drawPath(path);
  }
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(255, 255, 255, 200));
  p.drawEllipse(QPointF(size / 2.0, size / 2.0), size * 0.08, size * 0.08);
  return image;
}

std::string jpegBytes(const QImage& image, int quality) { return encode(image, "JPEG", quality); }
std::string pngBytes(const QImage& image) { return encode(image, "PNG", -1); }

const char* pictureContentType(std::string_view b) {
  if (b.size() >= 3 && b.substr(0, 3) == "\xFF\xD8\xFF") return "image/jpeg";
  if (b.size() >= 8 && b.substr(0, 8) == "\x89PNG\r\n\x1A\n") return "image/png";
  if (b.size() >= 6 && (b.substr(0, 6) == "GIF87a" || b.substr(0, 6) == "GIF89a")) return "image/gif";
  if (b.size() >= 12 && b.substr(0, 4) == "RIFF" && b.substr(8, 4) == "WEBP") return "image/webp";
  if (b.size() >= 2 && b.substr(0, 2) == "BM") return "image/bmp";
  if (b.size() >= 4 && (b.substr(0, 4) == std::string_view("II*\0", 4) || b.substr(0, 4) == std::string_view("MM\0*", 4)))
    return "image/tiff";
  return "application/octet-stream";
}

bool pictureDecodes(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > static_cast<std::size_t>(std::numeric_limits<int>::max())) return false;
  QImage image;
  return image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()), static_cast<int>(bytes.size())) &&
         !image.isNull();
}

}  // namespace tonvera::station
