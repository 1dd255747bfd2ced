// SPDX-License-Identifier: MIT
// rt420ctl scan against simulated modules: what it sends and prints, the
// scan result it shares with the window through the store, its exit codes,
// the language of its messages, and the trace.
#include "catalogue.h"
#include "cli_fixture.h"
#include "codepage.h"
#include "messages.h"
#include "serial_device.h"

TEST_F(CliTest, ScanReadsTheModuleAndStoresWhereItFoundIt) {
  sim::SimModule& module = AddModule(3);
  WriteSettings();
  ChildResult r = Run({"scan"});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  // Nothing stored: no quick try; COM1 and COM2 have nothing behind them,
  // and on COM3 the module ignores every line speed but its own.
  EXPECT_EQ(module.Commands(), kScanFrames);
  for (const char* line : {"Get Module Info Ok. (COM : #3)", "port:          COM3", "serial number: 12345678-9",
                           "version:       03.20-01", "ID 1:          01", "ID 2:          05",
                           "key count:     04", "mode:          two readers", "RS-485:        32"})
    EXPECT_TRUE(Contains(r.out, line)) << line << "\n" << r.out;
  // The window reads what the program stored: COM3 at 19200 baud (the
  // pseudo-terminal cannot show parity, so "n" comes first).
  store::ScanResult stored = Stored();
  EXPECT_EQ(stored.ScanCommNo, 3);
  EXPECT_EQ(stored.ScanBaudRateNo, 4);
  EXPECT_EQ(stored.ScanBaudRate, "19200,n,8,1");
}

TEST_F(CliTest, ScanUsesTheScanResultTheWindowStored) {
  sim::ModuleConfig config;
  config.lineIndex = 10;  // 115200,n,8,1
  sim::SimModule& module = AddModule(5, config);
  WriteSettings();
  // Locked to the default line setting, the search cannot find it.
  ChildResult before = Run({"scan", "--lock"});
  EXPECT_EQ(before.exitCode, 1);
  EXPECT_TRUE(Contains(before.out, "Module Not Find")) << before.out;
  EXPECT_TRUE(Contains(before.err, "searched: COM1 to COM16 at 19200,e,8,1 only (--lock); no port was stored yet, "
                                   "so there was no quick try"))
      << before.err;
  EXPECT_TRUE(module.Commands().empty());
  // Once the window has stored where it found the module, the quick try
  // finds it at once.
  store::SaveScanResult(store::ScanResult{5, "115200,n,8,1", 10});
  ChildResult after = Run({"scan", "--lock"});
  EXPECT_EQ(after.exitCode, 0) << after.out;
  EXPECT_EQ(module.Commands(), kScanFrames);
  EXPECT_TRUE(Contains(after.out, "line setting:  115200,n,8,1")) << after.out;
}

TEST_F(CliTest, ScanPortMakesTheQuickTryThereAndStoresTheFind) {
  sim::SimModule& module = AddModule(7);
  WriteSettings();
  ChildResult r = Run({"scan", "--lock", "--port", "7"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(module.Commands(), kScanFrames);
  EXPECT_EQ(Stored().ScanCommNo, 7);
  EXPECT_EQ(Stored().ScanBaudRate, "19200,e,8,1");
}

TEST_F(CliTest, ScanExitCodesTellASilentModuleFromAPortThatDidNotOpen) {
  sim::SimModule& silent = AddModule(3);
  silent.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "", -1));
  WriteSettings(kStoredCom3);
  std::string before = ReadFile(SettingsPath());
  ChildResult quiet = Run({"scan", "--lock"});
  EXPECT_EQ(quiet.exitCode, 1) << quiet.out;
  EXPECT_TRUE(Contains(quiet.out, "Module Not Find"));
  EXPECT_TRUE(Contains(quiet.err, "searched: the quick try at COM3 (19200,e,8,1), then COM1 to COM16 at 19200,e,8,1 "
                                  "only (--lock)"))
      << quiet.err;
  EXPECT_EQ(ReadFile(SettingsPath()), before);  // a scan that found nothing stores nothing

  MapPort(3, (Dir() / "no-such-device").string());
  WriteSettings(kStoredCom3);
  ChildResult missing = Run({"scan"});
  EXPECT_EQ(missing.exitCode, 3) << missing.out << missing.err;
  EXPECT_TRUE(Contains(missing.err, "no port could be opened")) << missing.err;
  // Said at once: the number, the device and the reason.
  EXPECT_TRUE(Contains(missing.err, "COM3: " + (Dir() / "no-such-device").string() + " (port table): missing"))
      << missing.err;
}

TEST_F(CliTest, APortHeldByAnotherProgramIsExitCodeThree) {
  sim::SimModule& module = StoredModule();
  serial::DeviceOpenResult holder = serial::OpenSerialDevice(module.SlavePath());
  ASSERT_NE(holder.device, nullptr);
  ChildResult held = Run({"set-keys", "6"});
  EXPECT_EQ(held.exitCode, 3) << held.out;
  EXPECT_TRUE(module.Commands().empty());
  EXPECT_TRUE(Contains(held.err, "COM3: " + module.SlavePath() + " (port table): busy, held by PID " +
                                     std::to_string(getpid())))
      << held.err;
  holder.device.reset();
  ChildResult free = Run({"set-keys", "6"});
  EXPECT_EQ(free.exitCode, 0) << free.out;
}

TEST_F(CliTest, ScanAsJson) {
  StoredModule();
  ChildResult r = Run({"--json", "scan"});
  EXPECT_EQ(r.exitCode, 0);
  std::vector<std::string> lines = Lines(r.out);
  ASSERT_EQ(lines.size(), 1u) << r.out;
  EXPECT_EQ(lines[0].front(), '{');
  EXPECT_EQ(lines[0].back(), '}');
  for (const char* member : {"\"subcommand\":\"scan\"", "\"exitCode\":0", "\"outcome\":\"ok\"", "\"port\":3",
                             "\"serialNumber\":\"12345678-9\"", "\"id2\":\"05\"", "\"mode\":\"two\"",
                             "\"rs485\":\"32\"", "\"lineSettingIndex\":5"})
    EXPECT_TRUE(Contains(lines[0], member)) << member << "\n" << lines[0];
}

TEST_F(CliTest, MessagesComeInTheChosenOrTheStoredLanguageAsUtf8) {
  catalogue::FillCatalogue();
  auto text = [](int message, int language) {
    return catalogue::DecodeToUtf8(catalogue::CatalogueText(message, language), catalogue::LanguageCodePage(language));
  };
  AddModule(3);
  WriteSettings(kStoredCom3 + "\"LanguageFlag\"=\"ChineseBIG5\"\n");
  ChildResult stored = Run({"scan"});
  EXPECT_TRUE(Contains(stored.out, text(catalogue::kMsgInfoOk, 2) + " : #3)")) << stored.out;
  ChildResult chosen = Run({"--lang", "gb", "scan"});
  EXPECT_TRUE(Contains(chosen.out, text(catalogue::kMsgInfoOk, 1) + " : #3)")) << chosen.out;
  ChildResult english = Run({"scan", "--lang=en"});
  EXPECT_TRUE(Contains(english.out, "Get Module Info Ok. (COM : #3)")) << english.out;
  // --lang chooses for one run; the stored language stays.
  EXPECT_TRUE(Contains(ReadFile(SettingsPath()), "\"LanguageFlag\"=\"ChineseBIG5\""));
  catalogue::ReleaseCatalogue();
}

TEST_F(CliTest, TheTraceShowsEveryFrameAndReplyInOrder) {
  sim::SimModule& module = StoredModule();
  ChildResult r = Run({"--trace", "set-mode", "one", "--rs485", "40"});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  std::vector<std::string> sent;
  std::string previous = "<";
  for (const std::string& line : Lines(r.err)) {
    bool isSent = Contains(line, " ms > ");
    ASSERT_TRUE(isSent || Contains(line, " ms < ")) << line;
    // Each frame is answered before the next goes out.
    EXPECT_EQ(previous, isSent ? "<" : ">") << line;
    previous = isSent ? ">" : "<";
    // The text form starts with the frame's TAB; the command follows.
    if (isSent) sent.push_back(line.substr(line.find("\\t") + 2, line.rfind("\\r") - line.find("\\t") - 4));
  }
  EXPECT_EQ(sent, module.Commands());
  ASSERT_FALSE(sent.empty());
  EXPECT_TRUE(Contains(r.err, "> 09 48 30 30 4D 30 43 0D  \\tH00M0C\\r")) << r.err;
  EXPECT_EQ(sent.back(), "H00A102");
}
