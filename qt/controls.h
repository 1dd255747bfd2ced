// SPDX-License-Identifier: MIT
#pragma once
// The window's own kinds of control: a panel whose caption is kept as the
// code-page bytes it was given, the round status lamp, a scroll bar with a
// keyboard and a page control with flat tabs. Also the choice of the font
// family that every control uses.

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QScrollBar>
#include <QTabWidget>
#include <QString>
#include <QWidget>
#include <string>

// A framed, centred one-line caption. The caption is kept as the bytes it
// was set with (catalogue text or data from the module, in the current
// language's code page), because the module operations read back exactly
// what was shown. It is displayed decoded, as plain text: data from the
// serial line is untrusted and is never interpreted as markup.
class TPanel : public QLabel {
  Q_OBJECT

 public:
  explicit TPanel(QWidget* parent = nullptr);

  void SetCaption(const std::string& bytes);
  const std::string& Caption() const { return caption_; }

  // Text colour on a background colour.
  void SetColors(const QColor& text, const QColor& background);

 private:
  std::string caption_;
};

// The status lamp: a filled circle as large as the control's smaller side,
// centred, with a black outline.
class TLamp : public QWidget {
  Q_OBJECT

 public:
  explicit TLamp(QWidget* parent = nullptr);

  void SetColor(const QColor& color);
  QColor Color() const { return color_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QColor color_{255, 0, 0};
};

// A scroll bar that the keyboard moves as well as the mouse: the arrows by
// one step (left and up down, right and down up), Page Up and Page Down by
// the large step, Home and End to the ends.
class TScrollBar : public QScrollBar {
  Q_OBJECT

 public:
  using QScrollBar::QScrollBar;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// A page control whose tabs are drawn as flat buttons, the current one
// pressed in, over pages without a frame.
class TPageControl : public QTabWidget {
  Q_OBJECT

 public:
  explicit TPageControl(QWidget* parent = nullptr);
};

// The installed font family used for every control: the first one that
// covers Latin, Simplified and Traditional Chinese, so texts in every
// language render; the application's default family when none does.
// Chosen once, after the application object exists.
QString UiFontFamily();

// A font of that family with a pixel size and weight.
QFont UiFont(int pixelSize, bool bold);
