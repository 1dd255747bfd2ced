// SPDX-License-Identifier: MIT
// The window under the keyboard and the mouse, with real events queued as a
// display server queues them (real_input.h): the disabled window's look and
// its deafness, the tab order, Enter after an operation, and Ctrl+T.

#include <QApplication>
#include <QKeyEvent>

#include "catalogue.h"
#include "real_input.h"
#include "trace_window.h"
#include "window_fixture.h"

namespace {
constexpr int kStartScan = 2, kModuleNotFound = 23;

std::string FocusName() {
  QWidget* focus = QApplication::focusWidget();
  return focus ? focus->objectName().toStdString() : "(none)";
}

// Each input in a script of its own, run to its end: the window has handled
// it, and whatever it started has ended, before the next one is made.
class InputTest : public WindowTest {
 protected:
  TfrmModule& ActiveWindow() {
    TfrmModule& w = NewWindow();
    QApplication::setActiveWindow(&w);
    return w;
  }
  void Run(TfrmModule& w, const std::function<void(RealInput&)>& script) {
    RealInput input(w);
    script(input);
    input.Start();
    ASSERT_TRUE(WaitFor([&] { return input.Finished(); }));
    QCoreApplication::processEvents();
  }
  void Click(TfrmModule& w, QWidget* target) {
    Run(w, [target](RealInput& input) { input.Click(target); });
  }
  void Key(TfrmModule& w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {}) {
    Run(w, [=](RealInput& input) { input.Key(key, modifiers, text); });
  }
};
}  // namespace

TEST_F(InputTest, DisabledWindowKeepsItsLookAndTakesNoInput) {
  TfrmModule& w = ActiveWindow();
  w.sbID->setFocus();
  const QImage idle = w.grab().toImage();
  w.EnterWaitState();
  EXPECT_EQ(w.grab().toImage(), idle) << "the controls changed their look";

  Click(w, w.btnGB);
  Key(w, Qt::Key_Right);
  Key(w, Qt::Key_Tab);
  EXPECT_EQ(catalogue::Language.LanguageIndex, 0);
  EXPECT_EQ(w.sbID->value(), 1);
  EXPECT_EQ(FocusName(), "sbID");

  w.LeaveWaitState();
  Click(w, w.btnGB);
  EXPECT_EQ(catalogue::Language.LanguageIndex, 1);
}

TEST_F(InputTest, TabVisitsEveryControlInReadingOrder) {
  TfrmModule& w = ActiveWindow();
  const std::vector<std::string> order = {
      "btnScan",     "sbID",    "sbID2",    "btnID",   "cmbBaudRate", "chkLock",    "sbKey",
      "btnBaudRate", "btnKey",  "cmbMode",  "cmbRS485", "btnMode",    "btnProcess", "btnFactory",
      "btnEng",      "btnGB",   "btnBIG5",  "btnExit", "btnScan"};
  w.btnScan->setFocus();
  std::vector<std::string> visited{FocusName()};
  for (size_t i = 1; i < order.size(); ++i) {
    Key(w, Qt::Key_Tab);
    visited.push_back(FocusName());
  }
  EXPECT_EQ(visited, order);
}

// Keys move a focused bar as the mouse does, one step or the large one, or
// to an end; its panel follows.
TEST_F(InputTest, KeysMoveAFocusedScrollBar) {
  TfrmModule& w = ActiveWindow();
  w.sbID2->setFocus();
  const struct {
    int key;
    const char* shown;
  } steps[] = {{Qt::Key_Right, "02"}, {Qt::Key_PageDown, "12"}, {Qt::Key_Up, "11"}, {Qt::Key_End, "99"},
               {Qt::Key_PageUp, "89"}, {Qt::Key_Down, "90"}, {Qt::Key_Home, "01"}, {Qt::Key_Left, "01"}};
  for (const auto& step : steps) {
    Key(w, step.key);
    EXPECT_EQ(w.pnID2->Caption(), step.shown) << "after key " << step.key;
  }
}

// Enter presses the focused button, also after that button's operation;
// with no button focused it scans, again and again.
TEST_F(InputTest, EnterPressesTheFocusedButtonAfterEveryOperation) {
  TfrmModule& w = ActiveWindow();
  Click(w, w.btnID);  // refused without a scan
  EXPECT_EQ(w.pnMsg->Caption(), catalogue::CatalogueText(kStartScan, 0));
  Key(w, Qt::Key_Return);
  EXPECT_EQ(w.pnMsg->Caption(), catalogue::CatalogueText(kStartScan, 0)) << "Enter scanned instead";
  EXPECT_EQ(beeps_.size(), 2u);

  w.sbKey->setFocus();
  Key(w, Qt::Key_Return);
  EXPECT_EQ(w.pnMsg->Caption(), catalogue::CatalogueText(kModuleNotFound, 0));
  w.pnMsg->SetCaption("");
  Key(w, Qt::Key_Enter);
  EXPECT_EQ(w.pnMsg->Caption(), catalogue::CatalogueText(kModuleNotFound, 0)) << "the keyboard was lost after the scan";
  EXPECT_EQ(FocusName(), "sbKey");
}

TEST_F(InputTest, CtrlTOpensTheTraceWhateverHasTheFocus) {
  TfrmModule& w = ActiveWindow();
  for (QWidget* focus : std::vector<QWidget*>{w.cmbBaudRate, w.cmbMode, w.cmbRS485, w.sbID, w.chkLock, w.btnScan}) {
    SCOPED_TRACE(focus->objectName().toStdString());
    if (w.TraceView()) w.TraceView()->hide();
    QApplication::setActiveWindow(&w);
    focus->setFocus();
    // The text a keyboard gives Ctrl+T: the control character 0x14.
    Key(w, Qt::Key_T, Qt::ControlModifier, QString(QChar(0x14)));
    ASSERT_NE(w.TraceView(), nullptr);
    EXPECT_TRUE(w.TraceView()->isVisible());
    EXPECT_EQ(w.cmbBaudRate->currentIndex(), 5) << "a list took the key";
  }
}
