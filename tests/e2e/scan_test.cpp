// SPDX-License-Identifier: MIT
// The module scan through the real window against simulated modules.
#include <sys/stat.h>

#include <cstdint>
#include <utility>

#include "e2e_fixture.h"

namespace {
const std::vector<std::string> kInformationReads = {"H00M", "H00V", "H00L", "H00A", "H00N"};

sim::ModuleConfig AtLine(int lineIndex) {
  sim::ModuleConfig config;
  config.lineIndex = lineIndex;
  return config;
}

const char kRememberedCom3At9600[] =
    "\"ScanCommNo\"=dword:00000003\n\"ScanBaudRate\"=\"9600,n,8,1\"\n\"ScanBaudRateNo\"=dword:00000002\n";

// Every save renames a new settings file over the old one. A save writes
// each value in a rewrite of its own, so a later rewrite may get the inode
// number that an earlier one freed; with the modification time beside it
// (the quick try alone lasts longer than the clock's tick) the pair changes
// exactly when something saved.
std::pair<ino_t, int64_t> FileIdentity(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return {0, 0};
  return {info.st_ino, int64_t{info.st_mtim.tv_sec} * 1000000000 + info.st_mtim.tv_nsec};
}
}  // namespace

TEST_F(EndToEnd, ScanWithoutStoredResultFindsModuleAndStoresWhereItAnswered) {
  sim::SimModule& module = AddModule(2);
  TfrmModule& w = OpenWindow();
  ASSERT_TRUE(w.chkLock->isChecked());

  w.btnScan->click();

  EXPECT_EQ(module.Commands(), kInformationReads);
  EXPECT_TRUE(Conn().ModuleFound);
  EXPECT_EQ(Message(), "Get Module Info Ok. (COM : #2)");
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kYellow);
  EXPECT_EQ(beeps, (std::vector<BeepRecord>{{1000, 300}}));
  EXPECT_EQ(Shown(w.pnSerial), "S/N : 12345678-9");
  EXPECT_EQ(Shown(w.pnVersion), "VER : 03.20-01");
  EXPECT_EQ(w.pnID->Caption(), "01");
  EXPECT_EQ(w.pnID2->Caption(), "05");
  EXPECT_EQ(w.sbID2->value(), 5);
  EXPECT_EQ(w.pnKey->Caption(), "04");
  EXPECT_EQ(w.cmbMode->currentIndex(), 0);
  EXPECT_EQ(w.cmbRS485->currentIndex(), 1);
  EXPECT_EQ(w.cmbBaudRate->currentIndex(), 5);
  ExpectIdle();

  std::string stored = ReadSettingsFile();
  EXPECT_NE(stored.find("\"ScanCommNo\"=dword:00000002"), std::string::npos) << stored;
  EXPECT_NE(stored.find("\"ScanBaudRate\"=\"19200,e,8,1\""), std::string::npos) << stored;
  EXPECT_NE(stored.find("\"ScanBaudRateNo\"=dword:00000005"), std::string::npos) << stored;
  EXPECT_NE(stored.find("\"COM2\"=\"" + PortPath(2) + "\""), std::string::npos) << "port table kept";
}

TEST_F(EndToEnd, UnlockedScanTriesEverySettingOfAPortBeforeTheNext) {
  sim::SimModule& dead = AddModule(1);
  dead.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "", 1000, 0));
  // The module listens at 9600 baud, the third setting, which keeps the
  // search short (the simulated line tells speeds apart, not parities).
  sim::SimModule& module = AddModule(4, AtLine(2));
  TfrmModule& w = OpenWindow();
  w.chkLock->setChecked(false);

  w.btnScan->click();

  EXPECT_TRUE(Conn().ModuleFound) << Message();
  EXPECT_EQ(Conn().ScanCommNo, 4);
  EXPECT_EQ(Conn().ScanBaudRateNo, 2);
  EXPECT_EQ(Conn().ScanBaudRate, "9600,n,8,1");
  EXPECT_EQ(w.cmbBaudRate->currentIndex(), 2);
  EXPECT_EQ(Message(), "Get Module Info Ok. (COM : #4)");
  // The first port was asked twice at each of the twelve settings, the
  // second twice at each of the two before its own.
  auto linesWith = [](const sim::SimModule& m, const std::string& fragment) {
    const std::vector<std::string> log = m.LogLines();
    return std::count_if(log.begin(), log.end(),
                         [&](const std::string& l) { return l.find(fragment) != std::string::npos; });
  };
  EXPECT_EQ(linesWith(dead, " <- "), 24);
  EXPECT_EQ(linesWith(module, "ignored: line speed 4800,"), 4);
  ASSERT_FALSE(module.Commands().empty());
  EXPECT_EQ(module.Commands().back(), "H00N");
  EXPECT_NE(ReadSettingsFile().find("\"ScanBaudRateNo\"=dword:00000002"), std::string::npos);
  ExpectIdle();
}

TEST_F(EndToEnd, QuickTryAtTheRememberedPortLeavesTheStoreUntouched) {
  sim::SimModule& module = AddModule(3, AtLine(2));
  OpenWindow(kRememberedCom3At9600);
  const std::string before = ReadSettingsFile();

  Window().btnScan->click();

  EXPECT_TRUE(Conn().ModuleFound) << Message();
  EXPECT_EQ(module.Commands(), kInformationReads);
  EXPECT_EQ(ReadSettingsFile(), before);
  EXPECT_EQ(Message(), "Get Module Info Ok. (COM : #3)");
}

TEST_F(EndToEnd, IdentityReplyOfAnotherLengthIsNeverFound) {
  sim::SimModule& module = AddModule(1);
  module.AddFault(sim::MakeFault(sim::FaultKind::WrongLength, "H00M", 1000, 15));
  TfrmModule& w = OpenWindow();
  w.cmbBaudRate->setCurrentIndex(8);

  w.btnScan->click();

  EXPECT_FALSE(Conn().ModuleFound);
  EXPECT_EQ(module.Commands(), (std::vector<std::string>{"H00M", "H00M"}));
  EXPECT_EQ(Message(), "Module Not Find");
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
  EXPECT_EQ(beeps, (std::vector<BeepRecord>{{300, 300}}));
  EXPECT_EQ(w.cmbBaudRate->currentIndex(), 5);
  EXPECT_EQ(Conn().ScanCommNo, 0);
  ExpectIdle();
}

TEST_F(EndToEnd, SerialSuffixIsLastDigitPlusOneAndOneReaderHidesSecondId) {
  sim::ModuleConfig config;
  config.serial1 = "12345679";
  config.mode = '1';
  config.id2 = "07";
  AddModule(1, config);
  TfrmModule& w = OpenWindow();

  w.btnScan->click();

  EXPECT_EQ(Shown(w.pnSerial), "S/N : 12345679-10");
  EXPECT_EQ(w.cmbMode->currentIndex(), 1);
  EXPECT_EQ(w.sbID2->value(), 7);
  EXPECT_EQ(w.pnID2->Caption(), "__");
}

TEST_F(EndToEnd, FailingSecondIdentityEndsTheReadsWithAnErrorButKeepsTheStoredResult) {
  sim::SimModule& module = AddModule(2);
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00N", 1000, 0));
  TfrmModule& w = OpenWindow();

  w.btnScan->click();

  EXPECT_FALSE(Conn().ModuleFound);
  EXPECT_EQ(Message(), "Get Module Info Error. (COM : #2)");
  EXPECT_EQ(w.shComm->Color(), TfrmModule::kRed);
  EXPECT_EQ(beeps, (std::vector<BeepRecord>{{300, 300}}));
  EXPECT_EQ(module.Commands(), kInformationReads);
  EXPECT_NE(ReadSettingsFile().find("\"ScanCommNo\"=dword:00000002"), std::string::npos);
  ExpectIdle();

  // The other operations refuse to run until a scan completes.
  module.ClearCommands();
  beeps.clear();
  w.btnMode->click();
  EXPECT_EQ(Message(), "Start Scan Module!");
  EXPECT_TRUE(module.Commands().empty());
}

TEST_F(EndToEnd, RepliesWithLettersWhereDigitsBelongEndTheScanCleanly) {
  sim::ModuleConfig config;
  config.id1 = "A7";
  config.id2 = "?x";
  config.serial1 = "1234567Z";
  AddModule(1, config);
  TfrmModule& w = OpenWindow();
  w.sbID->setValue(30);

  w.btnScan->click();

  EXPECT_TRUE(Conn().ModuleFound);
  EXPECT_EQ(Shown(w.pnSerial), "S/N : 1234567Z-_");
  EXPECT_EQ(w.pnID->Caption(), "A7");
  EXPECT_EQ(w.sbID->value(), 30);
  EXPECT_EQ(w.sbID2->value(), 1);
  EXPECT_EQ(w.pnID2->Caption(), "?x");
  ExpectIdle();
}

// IDs outside the bars' range 1 to 99: the bar stops at its end without
// rewriting the panel, which shows what the module said.
TEST_F(EndToEnd, IdsBeyondTheBarsAreShownAsTheModuleGaveThem) {
  sim::ModuleConfig config;
  config.id1 = "00";
  config.id2 = "00";
  AddModule(1, config);
  TfrmModule& w = OpenWindow();
  w.sbID->setValue(5);
  w.sbID2->setValue(5);

  w.btnScan->click();

  EXPECT_TRUE(Conn().ModuleFound);
  EXPECT_EQ(w.pnID->Caption(), "00");
  EXPECT_EQ(w.pnID2->Caption(), "00");
  EXPECT_EQ(w.sbID->value(), 1);
  EXPECT_EQ(w.sbID2->value(), 1);
}

TEST_F(EndToEnd, ModuleThatHangsUpDuringTheScanLeavesTheWindowUsable) {
  sim::SimModule& module = AddModule(1);
  module.AddFault(sim::MakeFault(sim::FaultKind::HangUp, "H00V", 1, 0));
  TfrmModule& w = OpenWindow();

  w.btnScan->click();

  EXPECT_FALSE(Conn().ModuleFound);
  EXPECT_EQ(Message(), "Get Module Info Error. (COM : #1)");
  ExpectIdle();
}

TEST_F(EndToEnd, QuickTryFindsTheModuleOnItsThirdAttemptAndSavesNothing) {
  sim::SimModule& module = AddModule(3, AtLine(2));
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00M", 2));
  OpenWindow(kRememberedCom3At9600);
  const std::string before = ReadSettingsFile();
  const auto identity = FileIdentity(SettingsPath());

  Window().btnScan->click();

  EXPECT_TRUE(Conn().ModuleFound) << Message() << "\n" << ExplainPorts();
  EXPECT_EQ(FramesReceived(module, "H00M"), 3u);
  EXPECT_EQ(FramesReceived(module), 7u) << "three identity frames, then the information reads";
  EXPECT_EQ(Message(), "Get Module Info Ok. (COM : #3)");
  EXPECT_EQ(FileIdentity(SettingsPath()), identity) << "the scan result was saved again";
  EXPECT_EQ(ReadSettingsFile(), before);
}

TEST_F(EndToEnd, ThreeUnansweredQuickAttemptsLeaveTheModuleToTheSearchWhichSavesIt) {
  sim::SimModule& module = AddModule(3, AtLine(2));
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00M", 3));
  OpenWindow(kRememberedCom3At9600);
  const auto identity = FileIdentity(SettingsPath());

  Window().btnScan->click();

  EXPECT_TRUE(Conn().ModuleFound) << Message() << "\n" << ExplainPorts();
  EXPECT_EQ(FramesReceived(module, "H00M"), 4u) << "three quick attempts, then the search's first";
  EXPECT_NE(FileIdentity(SettingsPath()), identity) << "a module found by the search is saved";
  EXPECT_NE(ReadSettingsFile().find("\"ScanCommNo\"=dword:00000003"), std::string::npos);
}
