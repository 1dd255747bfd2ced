// SPDX-License-Identifier: MIT
// The window icon's drawing at the sizes of the package's desktop icons: it
// scales to the same picture the window shows, and does not draw outside it.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <cstdlib>

#include "pictures.h"

namespace {
// The drawing on a transparent square of `side` pixels, as the icon export
// writes it.
QImage IconAt(int side) { return WindowIconImage(side).convertToFormat(QImage::Format_ARGB32); }

// A pixel inside an area of one colour: its neighbours up to two pixels away
// have its colour. Edges (and small text) are drawn differently at each
// size, areas are not.
bool InsideArea(const QImage& image, int x, int y) {
  constexpr int kReach = 2;
  for (int dy = -kReach; dy <= kReach; ++dy)
    for (int dx = -kReach; dx <= kReach; ++dx) {
      const int nx = x + dx, ny = y + dy;
      if (nx < 0 || ny < 0 || nx >= image.width() || ny >= image.height()) continue;
      if (image.pixel(nx, ny) != image.pixel(x, y)) return false;
    }
  return true;
}

int Difference(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) + std::abs(qBlue(a) - qBlue(b)) +
         std::abs(qAlpha(a) - qAlpha(b));
}
}  // namespace

TEST(WindowIcon, DesktopSizesShowTheWindowIconsPicture) {
  const QImage window = WindowIconPicture().toImage().convertToFormat(QImage::Format_ARGB32);
  ASSERT_EQ(window.size(), QSize(kWindowIconSide, kWindowIconSide));
  for (const int side : {48, 128, 256}) {
    const QImage icon = IconAt(side);
    int opaque = 0, clear = 0;
    for (int y = 0; y < kWindowIconSide; ++y)
      for (int x = 0; x < kWindowIconSide; ++x) {
        if (!InsideArea(window, x, y)) continue;
        const QRgb expected = window.pixel(x, y);
        // The centre of the window icon's pixel, in the larger picture.
        const QPoint at(int((x + 0.5) * side / kWindowIconSide), int((y + 0.5) * side / kWindowIconSide));
        EXPECT_LE(Difference(icon.pixel(at), expected), 8) << side << " px at " << x << "," << y;
        (qAlpha(expected) == 255 ? opaque : clear) += 1;
      }
    // Both the module's body (beside the text and the light) and the
    // transparent margin were compared.
    EXPECT_GE(opaque, 12) << side;
    EXPECT_GE(clear, 100) << side;
  }
}

TEST(WindowIcon, DrawingStaysInsideItsSquare) {
  // Painted at the origin of a larger image, nothing lands beyond the square.
  constexpr int kMargin = 8;
  QImage image(kWindowIconSide + kMargin, kWindowIconSide + kMargin, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter painter(&image);
  PaintWindowIcon(painter);
  painter.end();
  int inside = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const bool visible = qAlpha(image.pixel(x, y)) > 0;
      if (x >= kWindowIconSide || y >= kWindowIconSide)
        EXPECT_FALSE(visible) << x << "," << y;
      else
        inside += visible;
    }
  EXPECT_GE(inside, kWindowIconSide * kWindowIconSide / 2);
}
