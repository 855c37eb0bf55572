#include "golden.h"

#include <QDir>
#include <QFileInfo>
#include <QLinearGradient>
#include <QPainter>
#include <QWidget>
#include <cmath>
#include <cstdlib>

namespace tonvera::test {
namespace {

// A pixel differs when a channel is off by more than this; a picture matches while at most
// kMaxDifferentShare of its pixels differ (text antialiasing may move a little between runs).
constexpr int kChannelTolerance = 24;
constexpr double kMaxDifferentShare = 0.005;

QString goldenPath(const QString& name, qreal scale) {
  return QStringLiteral(TONVERA_SOURCE_DIR "/tests/golden/%1@%2x.png").arg(name).arg(static_cast<int>(std::lround(scale)));
}

}  // namespace

QImage renderAt(QWidget& widget, qreal scale) {
  QImage image(QSize(static_cast<int>(std::lround(widget.width() * scale)),
                     static_cast<int>(std::lround(widget.height() * scale))),
               QImage::Format_ARGB32_Premultiplied);
  image.setDevicePixelRatio(scale);
  image.fill(Qt::transparent);
  widget.render(&image);
  return image;
}

std::string compareWithGolden(const QImage& image, const QString& name, qreal scale) {
  const QString path = goldenPath(name, scale);
  if (std::getenv("TONVERA_UPDATE_GOLDEN") != nullptr) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    return image.save(path) ? std::string() : "cannot write " + path.toStdString();
  }
  QImage golden(path);
  if (golden.isNull()) {
    return "no golden picture " + path.toStdString() + " (run scripts/golden.sh)";
  }
  const QImage actual = image.convertToFormat(QImage::Format_ARGB32);
  golden = golden.convertToFormat(QImage::Format_ARGB32);
  if (actual.size() != golden.size()) {
    return "size differs from " + path.toStdString();
  }
  qint64 different = 0;
  for (int y = 0; y < actual.height(); ++y) {
    const auto* a = reinterpret_cast<const QRgb*>(actual.constScanLine(y));
    const auto* g = reinterpret_cast<const QRgb*>(golden.constScanLine(y));
    for (int x = 0; x < actual.width(); ++x) {
      const int d = std::max({std::abs(qRed(a[x]) - qRed(g[x])), std::abs(qGreen(a[x]) - qGreen(g[x])),
                              std::abs(qBlue(a[x]) - qBlue(g[x])), std::abs(qAlpha(a[x]) - qAlpha(g[x]))});
      different += d > kChannelTolerance ? 1 : 0;
    }
  }
  const double share = static_cast<double>(different) / (static_cast<double>(actual.width()) * actual.height());
  if (share > kMaxDifferentShare) {
    const QString failed = QFileInfo(path).absolutePath() + QStringLiteral("/failed-") + QFileInfo(path).fileName();
    image.save(failed);
    return QStringLiteral("%1% of the pixels differ from %2 (this run: %3)")
        .arg(share * 100, 0, 'f', 2)
        .arg(path, failed)
        .toStdString();
  }
  return {};
}

Backdrop::Backdrop(QColor from, QColor to) : from_(from), to_(to) { resize(512, 256); }

void Backdrop::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QLinearGradient gradient(0, 0, width(), height());
  gradient.setColorAt(0, from_);
  gradient.setColorAt(1, to_);
  painter.fillRect(rect(), gradient);
}

}  // namespace tonvera::test
