// SPDX-License-Identifier: MIT
// The writing operations through the real window: IDs, line setting, key
// count, mode and factory default, each with its success, its failure after
// two attempts and its refusal without a scan.
#include <functional>
#include <ostream>

#include "e2e_fixture.h"

namespace {
using Frames = std::vector<std::string>;
const BeepRecord kHigh{1000, 300};
const BeepRecord kLow{300, 300};

// One writing operation on a scanned module: what the test sets in the
// window and the module first, the button, the frames the module takes in,
// the outcome and what the module and the window hold afterwards. The lamp
// and the beep follow the outcome.
struct OperationCase {
  const char* name;
  std::function<void(TfrmModule&, sim::SimModule&)> arrange;
  QPushButton* TfrmModule::*button;
  Frames frames;
  const char* message;
  bool ok;
  std::function<void(TfrmModule&, sim::SimModule&)> check;
};

void PrintTo(const OperationCase& operation, std::ostream* out) { *out << operation.name; }

const auto kNothing = [](TfrmModule&, sim::SimModule&) {};

const OperationCase kOperations[] = {
    {"SetIdsWritesBothChannelsWithTheirOwnSerialFields",
     [](TfrmModule& w, sim::SimModule&) {
       w.sbID->setValue(7);
       w.sbID2->setValue(12);
     },
     &TfrmModule::btnID, {"H00M", "H00C1234567807", "H00N", "H00C8765432112"}, "Set Module ID Ok", true,
     [](TfrmModule&, sim::SimModule& module) {
       EXPECT_EQ(module.State().id1, "07");
       EXPECT_EQ(module.State().id2, "12");
     }},
    {"SetIdsInOneReaderModeWritesOnlyTheFirst",
     [](TfrmModule& w, sim::SimModule&) {
       w.cmbMode->setCurrentIndex(1);
       w.sbID->setValue(12);
     },
     &TfrmModule::btnID, {"H00M", "H00C1234567812", "H00N"}, "Set Module ID Ok", true, kNothing},
    {"SetIdsFailsAfterTwoAttemptsEachStartingWithThePresenceCheck",
     [](TfrmModule&, sim::SimModule& module) {
       module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00N", 1000, 0));
     },
     &TfrmModule::btnID, {"H00M", "H00C1234567801", "H00N", "H00M", "H00C1234567801", "H00N"},
     "Set Module ID Error", false, kNothing},
    {"BaudRateIndexesTenAndElevenAreHexDigits",
     [](TfrmModule& w, sim::SimModule&) { w.cmbBaudRate->setCurrentIndex(11); }, &TfrmModule::btnBaudRate,
     {"H00M", "H00EB"}, "Set Module BaudRate Ok", true, kNothing},
    {"BaudRateFailureKeepsTheOldSetting",
     [](TfrmModule& w, sim::SimModule& module) {
       module.AddFault(sim::MakeFault(sim::FaultKind::WrongLength, "H00M", 1000, 17));
       w.cmbBaudRate->setCurrentIndex(2);
     },
     &TfrmModule::btnBaudRate, {"H00M", "H00M"}, "Set Module BaudRate Error", false,
     [](TfrmModule& w, sim::SimModule&) { EXPECT_EQ(w.WindowConnection().ScanBaudRateNo, 5); }},
    {"KeyCountSendsThePanelText", [](TfrmModule& w, sim::SimModule&) { w.sbKey->setValue(20); },
     &TfrmModule::btnKey, {"H00B", "H00L20"}, "Set Reader Key Ok", true,
     [](TfrmModule&, sim::SimModule& module) { EXPECT_EQ(module.State().keyCount, "20"); }},
    {"KeyCountFailsWhenTheWriteIsNeverAnswered",
     [](TfrmModule&, sim::SimModule& module) {
       module.AddFault(sim::MakeFault(sim::FaultKind::BadChecksum, "H00L", 1000, 0));
     },
     &TfrmModule::btnKey, {"H00B", "H00L04", "H00B", "H00L04"}, "Set Reader Key Error", false, kNothing},
    {"ModeSendsModeAndRs485Digits",
     [](TfrmModule& w, sim::SimModule&) {
       w.pnID2->SetCaption("33");
       w.cmbMode->setCurrentIndex(1);
       w.cmbRS485->setCurrentIndex(2);
     },
     &TfrmModule::btnMode, {"H00M", "H00A102"}, "Set Module Mode Ok", true,
     [](TfrmModule& w, sim::SimModule& module) {
       EXPECT_EQ(module.State().mode, '1');
       EXPECT_EQ(module.State().rs485, '2');
       EXPECT_EQ(w.pnID2->Caption(), "33");
     }},
    {"ModeRetriesFromThePresenceCheckAfterAFailedCommand",
     [](TfrmModule&, sim::SimModule& module) {
       module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00A", 1, 0));
     },
     &TfrmModule::btnMode, {"H00M", "H00A001", "H00M", "H00A001"}, "Set Module Mode Ok", true, kNothing},
};

class WritingOperation : public EndToEnd, public ::testing::WithParamInterface<OperationCase> {};
}  // namespace

TEST_P(WritingOperation, SendsItsFramesAndReportsItsOutcome) {
  const OperationCase& operation = GetParam();
  sim::SimModule& module = ScannedModule();
  TfrmModule& w = Window();
  operation.arrange(w, module);

  (w.*operation.button)->click();

  EXPECT_EQ(module.Commands(), operation.frames);
  EXPECT_EQ(Message(), operation.message);
  EXPECT_EQ(w.shComm->Color(), operation.ok ? TfrmModule::kYellow : TfrmModule::kRed);
  EXPECT_EQ(beeps, std::vector<BeepRecord>{operation.ok ? kHigh : kLow});
  operation.check(w, module);
  ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(EndToEnd, WritingOperation, ::testing::ValuesIn(kOperations),
                         [](const ::testing::TestParamInfo<OperationCase>& info) { return info.param.name; });

TEST_F(EndToEnd, EveryWritingOperationRefusesWithoutAScan) {
  sim::SimModule& module = AddModule(1);
  TfrmModule& w = OpenWindow();
  for (QAbstractButton* button : std::vector<QAbstractButton*>{w.btnID, w.btnBaudRate, w.btnKey, w.btnMode, w.btnFactory}) {
    beeps.clear();
    w.SetLamp(TfrmModule::kYellow);
    button->click();
    EXPECT_EQ(Message(), "Start Scan Module!") << button->objectName().toStdString();
    EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
    EXPECT_EQ(beeps, std::vector<BeepRecord>{kLow});
    ExpectIdle();
  }
  EXPECT_TRUE(module.Commands().empty());
  // The factory default changes nothing in the window when it refuses.
  EXPECT_EQ(w.pnID2->Caption(), "__");
}

TEST_F(EndToEnd, BaudRateChangeMakesLaterOperationsUseTheNewSetting) {
  sim::SimModule& module = AddModule(1);
  TfrmModule& w = OpenWindow();
  ScanOk();
  const std::string stored = ReadSettingsFile();
  module.ClearCommands();
  w.cmbBaudRate->setCurrentIndex(7);

  w.btnBaudRate->click();

  EXPECT_EQ(module.Commands(), (Frames{"H00M", "H00E7"}));
  EXPECT_EQ(Message(), "Set Module BaudRate Ok");
  EXPECT_EQ(module.State().lineIndex, 7);
  EXPECT_EQ(Conn().ScanBaudRate, "38400,e,8,1");
  EXPECT_EQ(Conn().ScanBaudRateNo, 7);
  EXPECT_EQ(ReadSettingsFile(), stored) << "the change is not stored";

  // The ID operation now talks at 38400 and the module answers there.
  module.ClearCommands();
  w.btnID->click();
  EXPECT_EQ(Message(), "Set Module ID Ok");
  ASSERT_FALSE(module.Commands().empty());
  EXPECT_EQ(module.Commands().front(), "H00M");
  ExpectIdle();
}

TEST_F(EndToEnd, FactoryDefaultSendsSixFramesAndKeepsTheScanResult) {
  sim::ModuleConfig config;
  config.lineIndex = 2;
  config.id1 = "09";
  config.id2 = "10";
  config.mode = '1';
  config.rs485 = '2';
  sim::SimModule& module = AddModule(1, config);
  // With chkLock checked the search uses the remembered 9600,n,8,1.
  TfrmModule& w = OpenWindow("\"ScanBaudRateNo\"=dword:00000002\n");
  w.btnScan->click();
  ASSERT_TRUE(Conn().ModuleFound) << Message();
  module.ClearCommands();

  w.btnFactory->click();

  EXPECT_EQ(module.Commands(),
            (Frames{"H00M", "H00C1234567801", "H00N", "H00C8765432105", "H00A001", "H00E5"}));
  EXPECT_EQ(Message(), "Set Factory Default Ok");
  sim::ModuleConfig after = module.State();
  EXPECT_EQ(after.id1, "01");
  EXPECT_EQ(after.id2, "05");
  EXPECT_EQ(after.mode, '0');
  EXPECT_EQ(after.rs485, '1');
  EXPECT_EQ(after.lineIndex, 5);
  EXPECT_EQ(Conn().ScanBaudRate, "9600,n,8,1");
  EXPECT_EQ(w.pnID->Caption(), "01");
  EXPECT_EQ(w.pnID2->Caption(), "05");
  ExpectIdle();
}

TEST_F(EndToEnd, FailedFactoryDefaultStillShowsTheFactoryConfiguration) {
  sim::ModuleConfig config;
  config.mode = '1';
  config.id2 = "05";
  sim::SimModule& module = AddModule(1, config);
  TfrmModule& w = OpenWindow();
  ScanOk();
  ASSERT_EQ(w.pnID2->Caption(), "__");
  module.Stop();  // the module vanishes: nothing answers any more
  w.cmbBaudRate->setCurrentIndex(0);
  w.cmbRS485->setCurrentIndex(2);
  w.sbID->setValue(40);

  w.btnFactory->click();

  EXPECT_EQ(Message(), "Set Factory Default Error");
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
  EXPECT_EQ(beeps, std::vector<BeepRecord>{kLow});
  EXPECT_EQ(w.sbID->value(), 1);
  EXPECT_EQ(w.sbID2->value(), 5);
  EXPECT_EQ(w.pnID->Caption(), "01");
  EXPECT_EQ(w.pnID2->Caption(), "05");
  EXPECT_EQ(w.cmbBaudRate->currentIndex(), 5);
  EXPECT_EQ(w.cmbMode->currentIndex(), 0);
  EXPECT_EQ(w.cmbRS485->currentIndex(), 1);
  ExpectIdle();
}
