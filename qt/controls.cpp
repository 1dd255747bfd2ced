// SPDX-License-Identifier: MIT
#include "controls.h"

#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QTabBar>
#include <algorithm>

#include "catalogue.h"
#include "codepage.h"

TPanel::TPanel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  setAlignment(Qt::AlignCenter);
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  setAutoFillBackground(true);
}

void TPanel::SetCaption(const std::string& bytes) {
  caption_ = bytes;
  setText(QString::fromStdString(catalogue::DecodeForDisplay(bytes, catalogue::CurrentCodePage())));
}

void TPanel::SetColors(const QColor& text, const QColor& background) {
  QPalette colors = palette();
  colors.setColor(QPalette::WindowText, text);
  colors.setColor(QPalette::Window, background);
  setPalette(colors);
}

TLamp::TLamp(QWidget* parent) : QWidget(parent) {}

void TLamp::SetColor(const QColor& color) {
  if (color == color_) return;
  color_ = color;
  update();
}

void TLamp::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(color_);
  const int diameter = std::min(width(), height()) - 1;
  const QRectF circle((width() - diameter) / 2.0, (height() - diameter) / 2.0, diameter, diameter);
  painter.drawEllipse(circle.adjusted(0.5, 0.5, -0.5, -0.5));
}

void TScrollBar::keyPressEvent(QKeyEvent* event) {
  SliderAction action = SliderNoAction;
  switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up: action = SliderSingleStepSub; break;
    case Qt::Key_Right:
    case Qt::Key_Down: action = SliderSingleStepAdd; break;
    case Qt::Key_PageUp: action = SliderPageStepSub; break;
    case Qt::Key_PageDown: action = SliderPageStepAdd; break;
    case Qt::Key_Home: action = SliderToMinimum; break;
    case Qt::Key_End: action = SliderToMaximum; break;
    default: QScrollBar::keyPressEvent(event); return;
  }
  triggerAction(action);
  event->accept();
}

namespace {
// Each tab as a flat button; the current one is drawn pressed in.
class FlatTabBar : public QTabBar {
 public:
  using QTabBar::QTabBar;

 protected:
  void paintEvent(QPaintEvent*) override {
    QStylePainter painter(this);
    for (int i = 0; i < count(); ++i) {
      QStyleOptionButton tab;
      tab.initFrom(this);
      tab.rect = tabRect(i);
      tab.text = tabText(i);
      tab.features = QStyleOptionButton::Flat;
      if (i == currentIndex()) tab.state |= QStyle::State_Sunken | QStyle::State_On;
      painter.drawControl(QStyle::CE_PushButton, tab);
    }
  }
};
}  // namespace

TPageControl::TPageControl(QWidget* parent) : QTabWidget(parent) {
  setTabBar(new FlatTabBar(this));
  tabBar()->setDrawBase(false);
  setDocumentMode(true);
}

namespace {
bool CoversAllLanguages(const QString& family) {
  const QList<QFontDatabase::WritingSystem> systems = QFontDatabase::writingSystems(family);
  return systems.contains(QFontDatabase::Latin) && systems.contains(QFontDatabase::SimplifiedChinese) &&
         systems.contains(QFontDatabase::TraditionalChinese);
}

QString ChooseFamily() {
  QString fixedPitch;
  for (const QString& family : QFontDatabase::families()) {
    if (!CoversAllLanguages(family)) continue;
    if (!QFontDatabase::isFixedPitch(family)) return family;
    if (fixedPitch.isEmpty()) fixedPitch = family;
  }
  return fixedPitch.isEmpty() ? QApplication::font().family() : fixedPitch;
}
}  // namespace

QString UiFontFamily() {
  static const QString family = ChooseFamily();
  return family;
}

QFont UiFont(int pixelSize, bool bold) {
  QFont font(UiFontFamily());
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  return font;
}
