// SPDX-License-Identifier: MIT
// What the window's controls look like where a toolkit's defaults differ
// from the window's own look: open drop-down lists, and the language
// pictures while their buttons are disabled.

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

// Reddish pixels (red well above green and blue), dark ones, and all that
// differ from the button's face.
struct Ink {
  int reddish = 0, dark = 0, drawn = 0;
};

Ink InkOf(const QImage& image, const QColor& face) {
  Ink ink;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c = image.pixelColor(x, y);
      if (std::abs(c.red() - face.red()) + std::abs(c.green() - face.green()) + std::abs(c.blue() - face.blue()) < 30)
        continue;
      ++ink.drawn;
      ink.reddish += c.red() > c.green() + 40 && c.red() > c.blue() + 40;
      ink.dark += qGray(c.rgb()) < 80;
    }
  return ink;
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

// The language buttons show red characters on their own face; disabled (as
// while Wiegand processing runs) the characters are dimmed, not blank and
// not black.
TEST_F(WindowTest, LanguagePicturesAreRedAndDimmedWhenDisabled) {
  TfrmModule& w = NewWindow();
  for (QPushButton* button : {w.btnGB, w.btnBIG5}) {
    SCOPED_TRACE(button->objectName().toStdString());
    const QColor face = button->palette().color(QPalette::Button);
    const QRect picture(QPoint(0, 0), button->iconSize());
    const QRect inButton = picture.translated(button->rect().center() - picture.center());
    const Ink enabled = InkOf(button->grab(inButton).toImage(), face);
    button->setEnabled(false);
    const Ink disabled = InkOf(button->grab(inButton).toImage(), face);
    button->setEnabled(true);
    EXPECT_GT(enabled.reddish, 20);
    EXPECT_GT(disabled.reddish, enabled.reddish / 2) << "blank or grey";
    EXPECT_EQ(disabled.dark, 0) << "black";
  }
}
