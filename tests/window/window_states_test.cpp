// SPDX-License-Identifier: MIT
// The window's behaviour: defaults at creation, the scroll bars and their
// panels, the busy and wait states, closing, and Enter as the scan key.

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QTimer>

#include "catalogue.h"
#include "connection.h"
#include "window_fixture.h"

namespace {
void PressKey(QWidget* target, int key) {
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
  QCoreApplication::sendEvent(target, &press);
}
}  // namespace

TEST_F(WindowTest, CreationReadsSettingsClearsFlagsAndSelectsEntries) {
  TfrmModule& w = NewWindow(false);
  const commands::Connection& c = w.WindowConnection();
  EXPECT_FALSE(c.ModuleFound);
  EXPECT_FALSE(c.Processing);
  EXPECT_EQ(w.cmbBaudRate->currentIndex(), 5);
  EXPECT_EQ(w.cmbBaudRate->currentText(), "19200,e,8,1");
  EXPECT_EQ(w.cmbMode->currentIndex(), 0);
  EXPECT_EQ(w.cmbRS485->currentIndex(), 1);
  EXPECT_TRUE(w.chkLock->isChecked());
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
  // The link's wait hands pending events to the window.
  bool served = false;
  QTimer::singleShot(0, [&served] { served = true; });
  ASSERT_TRUE(static_cast<bool>(c.ProcessPendingEvents));
  c.ProcessPendingEvents();
  EXPECT_TRUE(served);

  WriteSettings("\"ScanCommNo\"=dword:00000003\n\"ScanBaudRate\"=\"57600,e,8,1\"\n\"ScanBaudRateNo\"=dword:00000009");
  TfrmModule& stored = NewWindow(false);
  EXPECT_EQ(stored.WindowConnection().ScanCommNo, 3);
  EXPECT_EQ(stored.cmbBaudRate->currentIndex(), 9);

  // An index outside the list is handed over unchecked and selects nothing.
  WriteSettings("\"ScanBaudRateNo\"=dword:0000000c");
  EXPECT_EQ(NewWindow(false).cmbBaudRate->currentIndex(), -1);
}

TEST_F(WindowTest, PanelsFollowTheirScrollBarsOnlyOnRealChanges) {
  TfrmModule& w = NewWindow();
  // The bars start at 1, 1 and 4, the panels at "__".
  EXPECT_EQ(w.sbID->value(), 1);
  EXPECT_EQ(w.sbID2->value(), 1);
  EXPECT_EQ(w.sbKey->value(), 4);
  EXPECT_EQ(w.pnID->Caption(), "__");
  EXPECT_EQ(w.pnID2->Caption(), "__");
  EXPECT_EQ(w.pnKey->Caption(), "__");

  // Setting the position a bar already has runs no handler.
  w.sbID->setValue(1);
  w.sbKey->setValue(4);
  EXPECT_EQ(w.pnID->Caption(), "__");
  EXPECT_EQ(w.pnKey->Caption(), "__");

  w.sbID->setValue(7);
  EXPECT_EQ(w.pnID->Caption(), "07");
  w.sbID->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(w.pnID->Caption(), "17");
  w.sbID2->setValue(99);
  EXPECT_EQ(w.pnID2->Caption(), "99");
  w.sbKey->setValue(0);
  EXPECT_EQ(w.pnKey->Caption(), "00");
  w.sbKey->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(w.pnKey->text(), "01");

  // Beyond the range the bar stays at its end: no change, no handler.
  w.pnID2->SetCaption("x");
  w.sbID2->setValue(150);
  EXPECT_EQ(w.sbID2->value(), 99);
  EXPECT_EQ(w.pnID2->Caption(), "x");
  EXPECT_EQ(w.sbKey->maximum(), 20);
  EXPECT_EQ(w.sbID->minimum(), 1);
}

TEST_F(WindowTest, BusyStateBlinksAndTheBlinkPhaseCarriesOver) {
  TfrmModule& w = NewWindow();
  EXPECT_EQ(w.tmrBusyTag, 0);
  EXPECT_FALSE(w.tmrBusy->isActive());
  EXPECT_EQ(w.tmrBusy->interval(), 200);

  w.SetBusy(true);
  EXPECT_TRUE(w.tmrBusy->isActive());
  EXPECT_FALSE(w.IsWindowEnabled());
  w.tmrBusyTimer();
  EXPECT_EQ(w.tmrBusyTag, 1);
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
  w.tmrBusyTimer();
  EXPECT_EQ(w.tmrBusyTag, 0);
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow);
  w.tmrBusyTimer();
  w.SetBusy(false);
  EXPECT_TRUE(w.IsWindowEnabled());
  EXPECT_FALSE(w.tmrBusy->isActive());
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);

  // The next period goes on from the phase where the last one stopped.
  w.SetBusy(true);
  w.tmrBusyTimer();
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow);
  w.SetBusy(false);
}

TEST_F(WindowTest, BusyTimerTicksOnItsOwnAndTheDisabledWindowTakesNoClicks) {
  TfrmModule& w = NewWindow();
  w.SetBusy(true);
  EXPECT_TRUE(WaitFor([&] { return w.tmrBusyTag == 1 && w.shComm->Color() == TfrmModule::kRed; }));
  EXPECT_TRUE(WaitFor([&] { return w.tmrBusyTag == 0 && w.shComm->Color() == TfrmModule::kYellow; }));

  w.btnGB->click();
  EXPECT_EQ(catalogue::Language.LanguageIndex, 0);
  w.SetBusy(false);
  w.btnGB->click();
  EXPECT_EQ(catalogue::Language.LanguageIndex, 1);
}

TEST_F(WindowTest, WaitStateShowsTheHourglassWithoutBlinking) {
  TfrmModule& w = NewWindow();
  w.EnterWaitState();
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_FALSE(w.IsWindowEnabled());
  EXPECT_FALSE(w.tmrBusy->isActive());

  // Leaving brings the default cursor back however often it was set.
  TfrmModule::ShowHourglass(true);
  w.LeaveWaitState();
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_TRUE(w.IsWindowEnabled());
}

TEST_F(WindowTest, OnlyExitClosesTheWindow) {
  TfrmModule& w = NewWindow();
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  QCloseEvent fromTitleBar;
  QCoreApplication::sendEvent(&w, &fromTitleBar);
  EXPECT_FALSE(fromTitleBar.isAccepted());
  EXPECT_TRUE(w.isVisible());

  w.btnExit->click();
  EXPECT_FALSE(w.isVisible());
  EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
}

TEST_F(WindowTest, EnterScansUnlessAButtonHasTheFocus) {
  TfrmModule& w = NewWindow();
  QApplication::setActiveWindow(&w);
  int scans = 0;
  QObject::connect(w.btnScan, &QPushButton::clicked, [&scans] { ++scans; });

  w.sbID->setFocus();
  PressKey(w.sbID, Qt::Key_Return);
  EXPECT_EQ(scans, 1);
  // Every port maps to nothing: the scan ends at once, not finding the module.
  EXPECT_EQ(w.pnMsg->Caption(), catalogue::CatalogueText(23, 0));
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
  EXPECT_EQ(beeps_, (std::vector<std::pair<unsigned, unsigned>>{{300, 300}}));
  EXPECT_TRUE(w.IsWindowEnabled());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  w.cmbMode->setFocus();
  PressKey(w.cmbMode, Qt::Key_Enter);
  EXPECT_EQ(scans, 2);

  // A focused button takes Enter for itself.
  w.btnGB->setFocus();
  PressKey(w.btnGB, Qt::Key_Return);
  EXPECT_EQ(scans, 2);
  EXPECT_EQ(catalogue::Language.LanguageIndex, 1);

  // While btnScan is disabled (as during Wiegand processing) Enter does nothing.
  w.btnScan->setEnabled(false);
  w.sbID2->setFocus();
  PressKey(w.sbID2, Qt::Key_Return);
  EXPECT_EQ(scans, 2);
}

TEST_F(WindowTest, PanelsShowBytesAsPlainTextOfTheCurrentLanguage) {
  TfrmModule& w = NewWindow();
  w.pnWie1->SetCaption("<b>12</b>&amp;");
  EXPECT_EQ(w.pnWie1->textFormat(), Qt::PlainText);
  EXPECT_EQ(w.pnWie1->text(), "<b>12</b>&amp;");

  // Control characters from the line are shown as replacement characters.
  w.pnWie2->SetCaption(std::string("A\nB\0C", 5));
  EXPECT_EQ(w.pnWie2->Caption(), std::string("A\nB\0C", 5));
  EXPECT_EQ(w.pnWie2->text(), QString::fromUtf8("A\uFFFDB\uFFFDC"));

  // The same bytes read as GB2312 once the language is Simplified Chinese.
  const std::string gbBytes = "\xB1\xE0\xBA\xC5";
  w.btnGB->click();
  w.ShowMessage(gbBytes);
  EXPECT_EQ(w.pnMsg->text(), QString::fromUtf8("编号"));
  EXPECT_EQ(w.pnMsg->Caption(), gbBytes);
}

TEST_F(WindowTest, LampPaintsItsColour) {
  TfrmModule& w = NewWindow();
  const QPoint centre = w.shComm->rect().center();
  EXPECT_EQ(w.shComm->grab().toImage().pixelColor(centre), TfrmModule::kRed);
  w.SetLamp(TfrmModule::kYellow);
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow);
  EXPECT_EQ(w.shComm->grab().toImage().pixelColor(centre), TfrmModule::kYellow);
}
