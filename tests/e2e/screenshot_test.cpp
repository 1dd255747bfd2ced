// SPDX-License-Identifier: MIT
// Pictures of the window as an operator sees it, in each language after a
// scan and while Wiegand processing runs (the lamp blinking, the locked
// controls dimmed, "Cancel Process Module" on the button), saved as
// build/screenshots/rt420config-qt-<language>[-processing].png
// (scripts/screenshot-qt.sh). Each time every text must show whole: none is
// wider or taller than the room its control gives it.
#include <QDir>
#include <QGroupBox>
#include <QStyleOptionButton>
#include <QStyleOptionComboBox>
#include <QTabBar>

#include "e2e_fixture.h"

namespace {
// The room a control gives its text, and the text: a label's or panel's
// contents, a button's contents beside its picture, a list's edit field, a
// group box's title, a tab.
struct TextRoom {
  QString text;
  QSize room;
};

std::vector<TextRoom> RoomsOf(QWidget* control) {
  if (auto* label = qobject_cast<QLabel*>(control)) return {{label->text(), label->contentsRect().size()}};
  if (auto* button = qobject_cast<QPushButton*>(control)) {
    QStyleOptionButton option;
    option.initFrom(button);
    const QRect contents = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
    const int picture = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    return {{button->text(), QSize(contents.width() - picture, contents.height())}};
  }
  if (auto* button = qobject_cast<QToolButton*>(control))  // the text under the picture
    return {{button->text(), QSize(button->width() - 4, button->height() - button->iconSize().height())}};
  if (auto* list = qobject_cast<QComboBox*>(control)) {
    QStyleOptionComboBox option;
    option.initFrom(list);
    return {{list->currentText(),
             list->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, list).size()}};
  }
  if (auto* group = qobject_cast<QGroupBox*>(control)) return {{group->title(), group->size()}};
  if (auto* tabs = qobject_cast<QTabBar*>(control)) {
    std::vector<TextRoom> rooms;
    for (int i = 0; i < tabs->count(); ++i) rooms.push_back({tabs->tabText(i), tabs->tabRect(i).size()});
    return rooms;
  }
  return {};
}

// The controls whose text does not fit, with what it needs and gets.
std::string CutTexts(QWidget& window) {
  std::string cut;
  for (QWidget* control : window.findChildren<QWidget*>()) {
    if (!control->isVisible()) continue;
    const QFontMetrics metrics(control->font());
    for (const TextRoom& text : RoomsOf(control)) {
      const QSize needed(metrics.horizontalAdvance(text.text), text.text.isEmpty() ? 0 : metrics.height());
      if (needed.width() > text.room.width() || needed.height() > text.room.height())
        cut += control->objectName().toStdString() + " \"" + text.text.toStdString() + "\" needs " +
               std::to_string(needed.width()) + "x" + std::to_string(needed.height()) + ", has " +
               std::to_string(text.room.width()) + "x" + std::to_string(text.room.height()) + "; ";
    }
  }
  return cut;
}

void Shoot(QWidget& window, const std::string& name) {
  const QString path = QString(RT420_SCREENSHOT_DIR) + "/rt420config-qt-" + QString::fromStdString(name) + ".png";
  EXPECT_TRUE(window.grab().save(path, "PNG")) << path.toStdString();
  EXPECT_EQ(CutTexts(window), "") << name;
}
}  // namespace

TEST_F(EndToEnd, ShotsInEveryLanguageAfterAScanAndWhileProcessingShowEveryTextWhole) {
  ASSERT_TRUE(QDir().mkpath(RT420_SCREENSHOT_DIR));
  sim::SimModule& module = AddModule(3);
  TfrmModule& w = OpenWindow();
  const struct {
    QPushButton* TfrmModule::*button;
    const char* name;
  } languages[] = {{&TfrmModule::btnEng, "en"}, {&TfrmModule::btnGB, "gb"}, {&TfrmModule::btnBIG5, "big5"}};
  for (const auto& language : languages) {
    SCOPED_TRACE(language.name);
    (w.*language.button)->click();
    ScanUntilFound();
    Shoot(w, language.name);
    module.PresentCard(1, "0012345678");
    module.PresentCard(2, "ABC");
    ClickAndActWhen(
        w.btnProcess, [&] { return w.tmrBusy->isActive() && !Shown(w.pnWie1).empty(); },
        [&] {
          Shoot(w, std::string(language.name) + "-processing");
          w.btnProcess->click();
        });
  }
}
