// SPDX-License-Identifier: MIT
// What the window's controls look like where a toolkit's defaults differ
// from the window's own look: open drop-down lists.

#include <QAbstractItemView>
#include <QApplication>
#include <QImage>

#include "window_fixture.h"

namespace {
// Shares of an image's pixels: near the colour, and yellow.
struct Shares {
  double near = 0, yellow = 0;
};

Shares Measure(const QImage& image, const QColor& colour) {
  int near = 0, yellow = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      near += std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                  std::abs(c.blue() - colour.blue()) < 24;
      yellow += c.red() > 200 && c.green() > 200 && c.blue() < 90;
    }
  const double all = double(image.width()) * image.height();
  return {near / all, yellow / all};
}

}  // namespace

// An open list shows its items as the closed list does: yellow bold text on
// the highlight colour.
TEST_F(WindowTest, OpenListsShowYellowBoldTextOnTheHighlight) {
  TfrmModule& w = NewWindow();
  const QColor highlight = QApplication::palette().color(QPalette::Highlight);
  for (QComboBox* list : {w.cmbBaudRate, w.cmbMode, w.cmbRS485}) {
    SCOPED_TRACE(list->objectName().toStdString());
    list->showPopup();
    ASSERT_TRUE(WaitFor([&] { return list->view()->isVisible(); }));
    const Shares shares = Measure(list->view()->viewport()->grab().toImage(), highlight);
    list->hidePopup();
    EXPECT_GT(shares.near, 0.4) << "background";
    EXPECT_GT(shares.yellow, 0.01) << "text";
    EXPECT_TRUE(list->view()->font().bold());
  }
}
