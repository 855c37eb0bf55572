// Squaring of artist pictures: sizes, mirrored bands, unrounded band geometry, no empty pixels.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <cstdlib>

#include "fake_service.h"
#include "records/squarepicture.h"

namespace tonvera {
namespace {

// Row and column of a pixel of test::coordinatePicture().
int rowOf(QRgb p) { return qRed(p) + (qBlue(p) / 16) * 256; }
int columnOf(QRgb p) { return qGreen(p) + (qBlue(p) % 16) * 256; }

bool allOpaque(const QImage& image) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (qAlpha(image.pixel(x, y)) != 255) return false;
    }
  }
  return true;
}

TEST(SquarePicture, WideAndSquarePicturesGetRowMirrorsAboveAndBelow) {
  const struct { int w, h; } cases[] = {{300, 200}, {200, 200}, {64, 40}, {5, 3}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const QImage squared = squarePicture(test::coordinatePicture(c.w, c.h));
    ASSERT_EQ(squared.size(), QSize(c.w, c.w));
    EXPECT_EQ(squared.format(), QImage::Format_RGBA8888_Premultiplied);
    const int pad = (c.w - c.h) / 2;
    for (int y = 0; y < c.w; ++y) {
      // Above: rows 1..pad mirrored about the top edge; below: rows h-2.. mirrored about the bottom.
      const int expectedRow = y < pad ? pad - y : y < pad + c.h ? y - pad : pad + 2 * c.h - 2 - y;
      for (int x = 0; x < c.w; ++x) {
        const QRgb p = squared.pixel(x, y);
        ASSERT_EQ(qAlpha(p), 255) << x << "," << y;
        ASSERT_EQ(rowOf(p), expectedRow) << x << "," << y;
        ASSERT_EQ(columnOf(p), x) << x << "," << y;
      }
    }
  }
}

TEST(SquarePicture, TallPicturesGetColumnMirrorsLeftAndRightUnderAFaintGradient) {
  const int w = 200, h = 300, pad = 50;
  const QImage source = test::coordinatePicture(w, h);
  const QImage squared = squarePicture(source);
  ASSERT_EQ(squared.size(), QSize(h, h));
  ASSERT_TRUE(allOpaque(squared));
  for (int x = 0; x < h; ++x) {
    const int expectedColumn = x < pad ? pad - x : x < pad + w ? x - pad : pad + 2 * w - 2 - x;
    // The gradient tints the outer three quarters of the left band and the inner three quarters of
    // the right band; the rest is untouched.
    const bool tinted = (x < pad && x < 3 * pad / 4 + 1) || (x >= pad + w && x < h - pad + 3 * pad / 4 + 1);
    for (int y = 0; y < h; y += 7) {
      const QRgb got = squared.pixel(x, y);
      const QRgb want = source.pixel(expectedColumn, y);
      if (tinted) {
        ASSERT_LE(std::abs(qRed(got) - qRed(want)), 27) << x << "," << y;
        ASSERT_LE(std::abs(qGreen(got) - qGreen(want)), 27) << x << "," << y;
      } else {
        ASSERT_EQ(got, want) << x << "," << y;
      }
    }
  }
}

TEST(SquarePicture, OddDifferencesKeepHalfRowBandsAndLeaveNoEmptyPixel) {
  const struct { int w, h; } cases[] = {{301, 200}, {200, 301}, {1000, 100}, {100, 1000}, {1, 2}, {2, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + "x" + std::to_string(c.h));
    const QImage squared = squarePicture(test::coordinatePicture(c.w, c.h));
    const int side = std::max(c.w, c.h);
    ASSERT_EQ(squared.size(), QSize(side, side));
    EXPECT_TRUE(allOpaque(squared));
  }
  // 301 x 200: pad 50.5, so the picture starts half-way into row 50 and the bands reach the edges.
  const QImage squared = squarePicture(test::coordinatePicture(301, 200));
  EXPECT_NEAR(rowOf(squared.pixel(10, 150)), 100, 1);
  EXPECT_EQ(columnOf(squared.pixel(10, 150)), 10);
  EXPECT_NEAR(rowOf(squared.pixel(10, 0)), 50, 1);
  EXPECT_NEAR(rowOf(squared.pixel(10, 300)), 149, 1);
}

TEST(SquarePicture, NullPictureGivesNullPicture) { EXPECT_TRUE(squarePicture(QImage()).isNull()); }

}  // namespace
}  // namespace tonvera
