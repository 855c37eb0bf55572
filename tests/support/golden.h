// Golden screenshots: a widget rendered at a scale is compared with tests/golden/<name>@<scale>x.png
// within a small tolerance; with TONVERA_UPDATE_GOLDEN=1 (scripts/golden.sh) the picture is written.
#pragma once

#include <QColor>
#include <QImage>
#include <QString>
#include <QWidget>
#include <string>

namespace tonvera::test {

// The window's night backdrop behind a page (512 x 256 points): a diagonal gradient.
class Backdrop : public QWidget {
 public:
  explicit Backdrop(QColor from = QColor(0x14, 0x1b, 0x3f), QColor to = QColor(0x3b, 0x23, 0x63));

 protected:
  void paintEvent(QPaintEvent*) override;

 private:
  QColor from_, to_;
};

// The widget and its children as they would appear on a screen of that scale.
QImage renderAt(QWidget& widget, qreal scale);

// Empty when the picture matches (or was written); otherwise what differs.
std::string compareWithGolden(const QImage& image, const QString& name, qreal scale);

}  // namespace tonvera::test

// In a test: EXPECT_GOLDEN(widget, "radio/nowplaying-idle");  checks scale 1 and 2.
#define EXPECT_GOLDEN(widget, name)                                                             \
  do {                                                                                          \
    for (qreal scale_ : {1.0, 2.0}) {                                                           \
      EXPECT_EQ(::tonvera::test::compareWithGolden(::tonvera::test::renderAt((widget), scale_), \
                                                   QString::fromUtf8(name), scale_),            \
                "");                                                                            \
    }                                                                                           \
  } while (0)
