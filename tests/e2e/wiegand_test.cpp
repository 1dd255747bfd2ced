// SPDX-License-Identifier: MIT
// Wiegand processing through the real window: the loop runs inside the click
// on btnProcess; the tests act from inside it (a timer on the window's event
// loop) once the simulated module has seen the polls they wait for.
#include <QWidget>

#include "serial_port.h"

#include "e2e_fixture.h"

namespace {
using Frames = std::vector<std::string>;

std::vector<QWidget*> LockedDuringProcessing(TfrmModule& w) {
  return {w.btnExit, w.btnScan, w.btnFactory, w.btnID, w.btnBaudRate, w.btnMode,
          w.gbDefault, w.btnEng, w.btnGB, w.btnBIG5, w.btnKey};
}

// How long written polls may take to reach the module on a loaded machine.
constexpr std::chrono::milliseconds kArrivalLimit{5000};

size_t CountOf(const Frames& frames, const std::string& text) {
  return static_cast<size_t>(std::count(frames.begin(), frames.end(), text));
}
}  // namespace

TEST_F(EndToEnd, ProcessingShowsCardsUntilTheSecondClickStopsIt) {
  sim::SimModule& module = ScannedModule();
  TfrmModule& w = Window();
  module.PresentCard(1, "ABC");
  module.PresentCard(2, "0012345678");
  const QString idleCaption = w.btnProcess->text();
  bool lockedWhileRunning = true;
  std::string captionWhileRunning;
  std::string secondReaderShown;

  ClickAndActWhen(
      w.btnProcess,
      [&] {
        if (Shown(w.pnWie2) == "0012345678") secondReaderShown = Shown(w.pnWie2);
        return CountOf(module.Commands(), "H05F") >= 3;
      },
      [&] {
        for (QWidget* c : LockedDuringProcessing(w)) lockedWhileRunning = lockedWhileRunning && !c->isEnabled();
        captionWhileRunning = w.btnProcess->text().toStdString();
        EXPECT_TRUE(w.IsWindowEnabled());
        EXPECT_TRUE(w.tmrBusy->isActive());
        w.btnProcess->click();
      });

  EXPECT_TRUE(lockedWhileRunning);
  EXPECT_EQ(captionWhileRunning, "Cancel Process Module");
  EXPECT_EQ(secondReaderShown, "0012345678");
  Frames frames = module.Commands();
  ASSERT_GE(frames.size(), 6u);
  EXPECT_EQ(frames[0], "H01F");
  EXPECT_EQ(frames[1], "H05F");
  // A 12-character reply shows its three data characters; later empty
  // replies (9 characters) leave reader 1's panel and clear reader 2's.
  EXPECT_EQ(Shown(w.pnWie1), "ABC");
  EXPECT_EQ(Shown(w.pnWie2), "");
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow);
  EXPECT_EQ(beeps, (std::vector<BeepRecord>{{1000, 300}}));
  EXPECT_EQ(w.btnProcess->text(), idleCaption);
  for (QWidget* c : LockedDuringProcessing(w)) EXPECT_TRUE(c->isEnabled()) << c->objectName().toStdString();
  EXPECT_FALSE(Conn().Processing);
  ExpectIdle();
}

// A double click on "Cancel Process Module": the second click arrives after
// the first has cleared the processing flag but before the loop has
// returned. It must neither start a second loop nor need a third click.
TEST_F(EndToEnd, DoubleClickOnCancelStopsProcessingOnce) {
  sim::SimModule& module = ScannedModule();
  TfrmModule& w = Window();
  const QString idleCaption = w.btnProcess->text();
  SentFrameCounter sent(Conn());
  size_t pollsAtStop = 0;
  bool stopClicked = false;
  bool secondClickSeenRunning = false;
  bool neededThirdClick = false;
  // Had the second click started a new loop, a third click would be needed
  // to stop it: this one, which must never find a loop running after the
  // stop.
  QTimer rescue;
  QObject::connect(&rescue, &QTimer::timeout, [&] {
    if (!stopClicked || !Conn().Processing) return;
    neededThirdClick = true;
    w.btnProcess->click();
  });
  rescue.start(1000);

  ClickAndActWhen(
      w.btnProcess, [&] { return module.Commands().size() >= 4; },
      [&] {
        w.btnProcess->click();
        stopClicked = true;
        pollsAtStop = sent.Count();
        // The second click of the pair, delivered by the loop's own event
        // processing while it is still on its way out.
        QTimer::singleShot(0, &w, [&] {
          secondClickSeenRunning = Conn().ProcessingActive;
          w.btnProcess->click();
        });
      });
  rescue.stop();

  EXPECT_TRUE(secondClickSeenRunning) << "the second click came after the loop had returned";
  EXPECT_FALSE(neededThirdClick);
  EXPECT_FALSE(Conn().Processing);
  EXPECT_FALSE(Conn().ProcessingActive);
  EXPECT_FALSE(serial::PortIsOpen(Conn()));
  // One stop, one beep; the cycle under way at the stop may finish (two
  // polls at most), and nothing is polled after the loop has returned: the
  // events still pending write no frame, and the module takes in exactly
  // the polls that were written.
  EXPECT_EQ(beeps, (std::vector<BeepRecord>{{1000, 300}}));
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow);
  const size_t pollsAtEnd = sent.Count();
  EXPECT_LE(pollsAtEnd, pollsAtStop + 2);
  QApplication::processEvents();
  EXPECT_EQ(sent.Count(), pollsAtEnd);
  EXPECT_TRUE(module.WaitForCommands(pollsAtEnd, kArrivalLimit)) << module.Commands().size() << " of " << pollsAtEnd;
  EXPECT_EQ(module.Commands().size(), pollsAtEnd);
  EXPECT_EQ(w.btnProcess->text(), idleCaption);
  ExpectIdle();
}

TEST_F(EndToEnd, OneReaderModePollsOnlyTheFirstReader) {
  sim::ModuleConfig config;
  config.mode = '1';
  sim::SimModule& module = ScannedModule(config);
  TfrmModule& w = Window();

  ClickAndActWhen(
      w.btnProcess, [&] { return module.Commands().size() >= 3; }, [&] { w.btnProcess->click(); });

  for (const std::string& frame : module.Commands()) EXPECT_EQ(frame, "H01F");
  EXPECT_EQ(Shown(w.pnWie2), "");
}

TEST_F(EndToEnd, UnansweredPollEndsProcessingRed) {
  sim::SimModule& module = ScannedModule();
  TfrmModule& w = Window();
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "F", 1, 0));

  w.btnProcess->click();  // returns by itself when the poll fails

  EXPECT_EQ(module.Commands(), Frames{"H01F"});
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
  EXPECT_EQ(beeps, (std::vector<BeepRecord>{{300, 300}}));
  EXPECT_FALSE(Conn().Processing);
  for (QWidget* c : LockedDuringProcessing(w)) EXPECT_TRUE(c->isEnabled());
  ExpectIdle();
}

TEST_F(EndToEnd, SwitchingToTwoReadersWithoutSecondIdPollsUnderscores) {
  sim::ModuleConfig config;
  config.mode = '1';
  sim::SimModule& module = AddModule(1, config);
  TfrmModule& w = OpenWindow();
  ScanOk();
  ASSERT_EQ(w.pnID2->Caption(), "__");
  module.ClearCommands();

  ClickAndActWhen(
      w.btnProcess, [&] { return !module.Commands().empty(); }, [&] { w.cmbMode->setCurrentIndex(0); });

  Frames frames = module.Commands();
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames.back(), "H__F");
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
}

TEST_F(EndToEnd, MovingTheIdBarDuringProcessingPollsTheNewAddress) {
  sim::SimModule& module = AddModule(1);
  TfrmModule& w = OpenWindow();
  ScanOk();
  w.cmbMode->setCurrentIndex(1);
  module.ClearCommands();

  ClickAndActWhen(
      w.btnProcess, [&] { return !module.Commands().empty(); }, [&] { w.sbID->setValue(2); });

  // The module has no reader at 02: the next poll goes unanswered.
  ASSERT_FALSE(module.Commands().empty());
  EXPECT_EQ(module.Commands().back(), "H02F");
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
}

TEST_F(EndToEnd, ProcessingRefusesWithoutScanAndReportsAPortThatDoesNotOpen) {
  sim::SimModule& module = AddModule(3);
  TfrmModule& w = OpenWindow();
  const QString idleCaption = w.btnProcess->text();

  w.btnProcess->click();
  EXPECT_EQ(Message(), "Start Scan Module!");
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed) << "lamp untouched (red at start)";
  EXPECT_EQ(beeps, (std::vector<BeepRecord>{{300, 300}}));
  EXPECT_EQ(w.btnProcess->text(), idleCaption);

  ScanOk();
  module.Stop();  // the device is gone: the port cannot be opened
  w.btnProcess->click();

  EXPECT_EQ(Message(), "Open COM : 3 Error");
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
  EXPECT_EQ(beeps, (std::vector<BeepRecord>{{300, 300}}));
  EXPECT_EQ(w.btnProcess->text(), idleCaption);
  EXPECT_FALSE(w.tmrBusy->isActive());
  for (QWidget* c : LockedDuringProcessing(w)) EXPECT_TRUE(c->isEnabled());
}

TEST_F(EndToEnd, KeyCountCannotTakeThePortDuringProcessing) {
  sim::SimModule& module = ScannedModule();
  TfrmModule& w = Window();
  bool buttonDisabled = false;

  ClickAndActWhen(
      w.btnProcess, [&] { return module.Commands().size() >= 2; },
      [&] {
        buttonDisabled = !w.btnKey->isEnabled();
        w.btnKeyClick();  // even a direct call leaves the port to processing
        QTimer::singleShot(0, [&] { w.btnProcess->click(); });
      });

  EXPECT_TRUE(buttonDisabled);
  for (const std::string& frame : module.Commands()) {
    EXPECT_TRUE(frame == "H01F" || frame == "H05F") << frame;
  }
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow) << "stopped by the operator, not by a failed poll";
  EXPECT_TRUE(w.btnKey->isEnabled());
}

TEST_F(EndToEnd, CardDataIsShownAsReceivedAndNeverAsMarkup) {
  sim::ModuleConfig config;
  config.mode = '1';
  sim::SimModule& module = ScannedModule(config);
  TfrmModule& w = Window();
  const std::string data = "<b>7</b>\x01\xfe";
  module.PresentCard(1, data);

  ClickAndActWhen(
      w.btnProcess, [&] { return w.pnWie1->Caption() == data; }, [&] { w.btnProcess->click(); });

  EXPECT_EQ(w.pnWie1->Caption(), data);
  EXPECT_EQ(w.pnWie1->textFormat(), Qt::PlainText);
  EXPECT_TRUE(w.pnWie1->text().startsWith(QStringLiteral("<b>7</b>")));
  EXPECT_FALSE(w.pnWie1->text().contains(QChar(0x01)));
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow);
}

TEST_F(EndToEnd, CarriageReturnInsideCardDataEndsProcessingCleanly) {
  sim::ModuleConfig config;
  config.mode = '1';
  sim::SimModule& module = ScannedModule(config);
  TfrmModule& w = Window();
  module.PresentCard(1, "12\r34");

  w.btnProcess->click();  // the reply ends at the CR and fails its checksum

  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
  EXPECT_FALSE(Conn().Processing);
  for (QWidget* c : LockedDuringProcessing(w)) EXPECT_TRUE(c->isEnabled());
  ExpectIdle();
}
