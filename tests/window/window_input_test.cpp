// SPDX-License-Identifier: MIT
// The window under the keyboard and the mouse, with real events queued as a
// display server queues them (real_input.h): the disabled window's look and
// its deafness.

#include <QApplication>
#include <QKeyEvent>

#include "catalogue.h"
#include "real_input.h"
#include "window_fixture.h"

namespace {
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
  void Key(TfrmModule& w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Run(w, [=](RealInput& input) { input.Key(key, modifiers); });
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
  EXPECT_EQ(Language.LanguageIndex, 0);
  EXPECT_EQ(w.sbID->value(), 1);
  EXPECT_EQ(FocusName(), "sbID");

  w.LeaveWaitState();
  Click(w, w.btnGB);
  EXPECT_EQ(Language.LanguageIndex, 1);
}
