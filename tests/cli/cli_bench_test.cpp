// SPDX-License-Identifier: MIT
// rt420ctl discover and apply --ports: one connection per port in one
// process, against simulated modules at assorted line settings, a port whose
// device is missing, one held by another program, and a module that falls
// silent in the middle. Each module's frame log must hold its own
// connection's frames only.
#include <csignal>
#include <iterator>
#include <set>

#include "bench_modules.h"
#include "cli_fixture.h"
#include "serial_device.h"

namespace {
std::string Rs485Text(char digit) { return digit == '0' ? "24" : digit == '1' ? "32" : "40"; }

std::string LineOf(const std::vector<std::string>& lines, const std::string& start) {
  for (const std::string& line : lines)
    if (line.rfind(start, 0) == 0) return line;
  return {};
}

std::vector<std::string> Concat(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}
}  // namespace

namespace {
// How often discover may search a port before its module must have been
// found: a loaded machine can hold a module's reply back past its window,
// so that one search hears it answer and cannot read it.
constexpr int kDiscoverAttempts = 10;

// A discover line with the parity letter of its line setting made '?'. A
// pseudo-terminal cannot show parity: a module is found at its own speed,
// at "n" as the search tries first, or at "e" when a reply held back by a
// loaded machine lands in the window of the next try.
std::string ParityBlind(std::string line) {
  size_t setting = line.find("): ");
  size_t comma = setting == std::string::npos ? setting : line.find(',', setting);
  if (comma != std::string::npos && comma + 1 < line.size()) line[comma + 1] = '?';
  return line;
}
}  // namespace

TEST_F(CliTest, DiscoverListsEveryPortWithItsOwnModuleOrReason) {
  const std::pair<int, int> placed[] = {{3, 0}, {4, 6}, {5, 10}};  // port, line setting index
  std::map<int, sim::SimModule*> modules;
  for (const auto& [port, line] : placed) modules[port] = &AddModule(port, ModuleOnPort(port, line));
  std::string missing = (Dir() / "gone" / "ttyUSB6").string();
  MapPort(6, missing);
  sim::SimModule& held = AddModule(7);
  sim::SimModule& silent = AddModule(8);
  silent.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00M", -1));
  WriteSettings();
  std::string settings = ReadFile(SettingsPath());
  serial::DeviceOpenResult holder = serial::OpenSerialDevice(held.SlavePath());
  ASSERT_NE(holder.device, nullptr);
  // A module's line; with keyCount "__" as the scan shows it when its read
  // of the key count alone went unanswered (the module is found all the
  // same).
  auto moduleLine = [&](int port, int line, std::string keyCount = {}) {
    sim::ModuleConfig c = ModuleOnPort(port, line);
    if (keyCount.empty()) keyCount = c.keyCount;
    return ParityBlind("COM" + std::to_string(port) + " (" + modules[port]->SlavePath() + "): " +
                       kLineSettingTexts[line] + " serial " + SerialShown(c) + " version 03.20-01 ID 1 " + c.id1 +
                       " ID 2 " + c.id2 + " key count " + keyCount + " mode two readers RS-485 " + Rs485Text(c.rs485));
  };

  ChildResult text = Run({"discover", "--ports", "3-8"});
  std::vector<std::string> lines = Lines(text.out);
  ASSERT_EQ(lines.size(), 7u) << text.out;
  int found = 0;
  for (const auto& [port, line] : placed) {
    const std::string& shown = lines[static_cast<size_t>(port - 3)];
    std::string noModule = "COM" + std::to_string(port) + " (" + modules[port]->SlavePath() + "): no module";
    bool listed = ParityBlind(shown) == moduleLine(port, line);
    bool keyUnread = ParityBlind(shown) == moduleLine(port, line, "__");
    EXPECT_TRUE(listed || keyUnread || shown.rfind(noModule, 0) == 0) << shown;
    found += listed || keyUnread ? 1 : 0;
    // Every module is found, given enough attempts.
    for (int attempt = 1; !listed && attempt < kDiscoverAttempts; ++attempt) {
      std::vector<std::string> again = Lines(Run({"discover", "--ports", std::to_string(port)}).out);
      listed = !again.empty() && ParityBlind(again[0]) == moduleLine(port, line);
    }
    EXPECT_TRUE(listed) << "COM" << port << " never listed its module";
  }
  EXPECT_EQ(text.exitCode, found ? 0 : 1) << text.out << text.err;
  EXPECT_EQ(lines[3].rfind("COM6 (" + missing + "): not opened: missing", 0), 0u) << lines[3];
  EXPECT_EQ(lines[4].rfind("COM7 (" + held.SlavePath() + "): not opened: busy", 0), 0u) << lines[4];
  EXPECT_EQ(lines[5], "COM8 (" + silent.SlavePath() + "): no module");
  EXPECT_EQ(lines[6], "found " + std::to_string(found) + " module(s) on 6 port(s) searched");

  ChildResult json;
  const std::string module3 = "\"modules\":[{\"port\":3,\"device\":\"" + modules[3]->SlavePath() +
                              "\",\"lineSetting\":\"4800,";
  for (int attempt = 0; attempt < kDiscoverAttempts && !Contains(json.out, module3); ++attempt)
    json = Run({"--json", "discover", "--ports", "3,6,7"});
  EXPECT_EQ(json.exitCode, 0) << json.out;
  EXPECT_TRUE(Contains(json.out, "{\"subcommand\":\"discover\",\"exitCode\":0," + module3)) << json.out;
  EXPECT_TRUE(Contains(json.out, "\"serialNumber\":\"" + SerialShown(ModuleOnPort(3, 0)) +
                                     "\",\"version\":\"03.20-01\",\"id1\":\"13\",\"id2\":\"23\"," +
                                     "\"keyCount\":\"03\",\"mode\":\"two\",\"rs485\":\"24\"}],\"silent\":[]," +
                                     "\"notOpened\":[{\"port\":6,\"device\":\"" + missing + "\",\"reason\":\"missing"))
      << json.out;
  EXPECT_TRUE(Contains(json.out, "{\"port\":7,\"device\":\"" + held.SlavePath() + "\",\"reason\":\"busy")) << json.out;
  EXPECT_EQ(Lines(json.out).size(), 1u) << json.out;

  // Each module heard scans alone, however many; the held port and the
  // store were left alone.
  const std::set<std::string> scanFrames(kScanFrames.begin(), kScanFrames.end());
  for (const auto& [port, module] : modules)
    for (const std::string& command : module->Commands()) EXPECT_TRUE(scanFrames.count(command)) << port << ": " << command;
  EXPECT_TRUE(held.Commands().empty()) << Joined(held.Commands());
  EXPECT_EQ(ReadFile(SettingsPath()), settings);
}

TEST_F(CliTest, DiscoverExitCodesAndTracePrefixes) {
  AddModule(3, ModuleOnPort(3, 0));
  AddModule(8).AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00M", -1));
  MapPort(6, (Dir() / "gone").string());
  WriteSettings();
  const std::pair<const char*, int> cases[] = {{"6", 3}, {"6,8", 1}, {"3,6", 0}};
  for (const auto& [ports, code] : cases) EXPECT_EQ(Run({"discover", "--ports", ports}).exitCode, code) << ports;

  // With several connections every trace line names its port (COM6 sends
  // nothing). At least the scan's frames: a loaded machine can add a read
  // that is tried again.
  ChildResult traced = Run({"--trace", "discover", "--ports", "3,6"});
  std::vector<std::string> trace = Lines(traced.err);
  ASSERT_GE(trace.size(), kScanFrames.size()) << traced.err;
  for (const std::string& line : trace) EXPECT_EQ(line.rfind("COM3 ", 0), 0u) << line;
}

namespace {
// The fields of the apply record file.
constexpr size_t kPort = 1, kSerial = 2, kFieldCount = 18, kId1After = 10, kKeyAfter = 13, kRs485After = 15,
                 kWritten = 16, kOutcome = 17;
}  // namespace

TEST_F(CliTest, ApplyOnSeveralPortsProvisionsEachModuleIntoOneRecordFile) {
  const std::pair<int, int> placed[] = {{3, 0}, {4, 6}, {5, 8}};
  std::map<int, sim::SimModule*> modules;
  for (const auto& [port, line] : placed) modules[port] = &AddModule(port, ModuleOnPort(port, line));
  // COM5's module answers the scan and then never the ID write.
  modules[5]->AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00C", -1));
  std::string missing = (Dir() / "gone" / "ttyUSB6").string();
  MapPort(6, missing);
  WriteSettings();
  std::string settings = ReadFile(SettingsPath());
  std::string profile = WriteFile("bench.ini", "[module]\nid1 = 31\nid2 = 32\nkey-count = 6\nrs485 = 40\n");
  std::string csv = (Dir() / "bench.csv").string();

  ChildResult r = Run({"apply", profile, "--ports", "3-6", "--csv", csv});
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  std::vector<std::string> out = Lines(r.out);
  // COM4's module has RS-485 40 already: its mode is left alone.
  const std::map<int, std::string> written = {{3, "ids key-count mode"}, {4, "ids key-count"}};
  for (const auto& [port, what] : written) {
    std::string who = "COM" + std::to_string(port) + " " + SerialShown(ModuleOnPort(port, 0));
    EXPECT_TRUE(Contains(r.out, who + ": ok (wrote " + what + ")\n")) << r.out;
  }
  EXPECT_TRUE(Contains(r.out, "COM5 " + SerialShown(ModuleOnPort(5, 0)) + ": write failed: ids")) << r.out;
  EXPECT_EQ(LineOf(out, "COM6").rfind("COM6: port not opened: COM6 (" + missing + "): missing", 0), 0u) << r.out;
  const char* const summary[] = {"provisioned 2, failed 2, skipped 0", "COM3: provisioned 1, failed 0, skipped 0",
                                 "COM4: provisioned 1, failed 0, skipped 0", "COM5: provisioned 0, failed 1, skipped 0",
                                 "COM6: provisioned 0, failed 1, skipped 0"};
  ASSERT_EQ(out.size(), 4u + std::size(summary)) << r.out;
  for (size_t i = 0; i < std::size(summary); ++i) EXPECT_EQ(out[4 + i], summary[i]);

  // One whole record per port, whatever order the ports finished in.
  std::vector<std::vector<std::string>> records = ReadCsv(ReadFile(csv));
  ASSERT_EQ(records.size(), 5u) << ReadFile(csv);
  std::map<std::string, std::vector<std::string>> byPort;
  for (size_t i = 1; i < records.size(); ++i) {
    ASSERT_EQ(records[i].size(), kFieldCount) << Joined(records[i]);
    byPort[records[i][kPort]] = records[i];
  }
  ASSERT_EQ(byPort.size(), 4u);
  for (const auto& [port, what] : written) {
    const sim::ModuleConfig c = ModuleOnPort(port, 0);
    const std::vector<std::string>& record = byPort["COM" + std::to_string(port)];
    EXPECT_EQ(record[kSerial], SerialShown(c));
    EXPECT_EQ(record[kId1After], "31");
    EXPECT_EQ(record[kKeyAfter], "06");
    EXPECT_EQ(record[kRs485After], "40");
    EXPECT_EQ(record[kWritten], what);
    EXPECT_EQ(record[kOutcome], "ok");
    // The module took exactly its own writes, with its own serial numbers,
    // between its scan and its read-back.
    std::vector<std::string> writes = {"H00M", "H00C" + c.serial1 + "31", "H00N", "H00C" + c.serial2 + "32",
                                       "H00B", "H00L06"};
    if (c.rs485 != '2') writes = Concat(writes, {"H00M", "H00A002"});
    EXPECT_EQ(ReadRunsAsOne(modules[port]->Commands()), Concat(Concat(kScanFrames, writes), kScanFrames)) << port;
    sim::ModuleConfig state = modules[port]->State();
    EXPECT_EQ(state.id1 + state.id2 + state.keyCount + state.rs485, "3132062");
  }
  const std::vector<std::string>& silent = byPort["COM5"];
  EXPECT_EQ(silent[kSerial], SerialShown(ModuleOnPort(5, 0)));
  EXPECT_EQ(silent[kOutcome].rfind("write failed: ids", 0), 0u) << silent[kOutcome];
  std::vector<std::string> heard = ReadRunsAsOne(modules[5]->Commands());
  ASSERT_GT(heard.size(), kScanFrames.size());
  EXPECT_EQ(std::vector<std::string>(heard.begin(), heard.begin() + 5), kScanFrames);
  std::vector<std::string> idWrites;
  for (const std::string& command : heard)
    if (command.rfind("H00C", 0) == 0) idWrites.push_back(command);
  ASSERT_FALSE(idWrites.empty());
  for (const std::string& command : idWrites) EXPECT_EQ(command, "H00C" + ModuleOnPort(5, 0).serial1 + "31");
  EXPECT_EQ(modules[5]->State().keyCount, "05");
  EXPECT_EQ(byPort["COM6"][kOutcome].rfind("port not opened: COM6 (" + missing + "): missing", 0), 0u);
  EXPECT_EQ(ReadFile(SettingsPath()), settings);
}

TEST_F(CliTest, ApplyRepeatOnSeveralPortsTakesEachPortsNextModuleOnItsOwn) {
  sim::SimModule& com3 = AddModule(3, ModuleOnPort(3, 0));
  sim::SimModule& com4 = AddModule(4, ModuleOnPort(4, 2));
  WriteSettings();
  std::string profile = WriteFile("line.ini", "id1 = 41\n");
  std::unique_ptr<ChildProcess> child = Start({"apply", profile, "--ports", "3,4", "--repeat"});
  const auto limit = std::chrono::seconds(60);
  ASSERT_TRUE(child->WaitForOutput("COM3 10000003-4: ok", limit)) << child->Out();
  ASSERT_TRUE(child->WaitForOutput("COM4 10000004-5: ok", limit)) << child->Out();
  // A new module on COM3 alone: COM3 provisions it, COM4 keeps waiting.
  const std::pair<sim::SimModule*, std::string> swaps[] = {{&com3, "30000003"}, {&com4, "40000004"}};
  for (const auto& [module, serial] : swaps) {
    ASSERT_TRUE(PutNextModule(*module, serial));
    ASSERT_TRUE(child->WaitForOutput(SerialShown(serial) + ": ok", limit)) << child->Out();
  }
  child->Signal(SIGINT);
  ChildResult r = child->Finish(kLimit);
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  for (const char* line : {"COM3 30000003-4: ok (wrote ids)\n", "COM4 40000004-5: ok (wrote ids)\n",
                           "provisioned 4, failed 0, skipped 0\nCOM3: provisioned 2, failed 0, skipped 0\n"
                           "COM4: provisioned 2, failed 0, skipped 0\n"})
    EXPECT_TRUE(Contains(r.out, line)) << line << "\n" << r.out;
  std::vector<std::vector<std::string>> records = ReadCsv(ReadFile(Dir() / "line.csv"));
  ASSERT_EQ(records.size(), 5u) << ReadFile(Dir() / "line.csv");
  std::multiset<std::string> serials;
  for (size_t i = 1; i < records.size(); ++i) serials.insert(records[i][kPort] + " " + records[i][kSerial]);
  EXPECT_EQ(serials, (std::multiset<std::string>{"COM3 10000003-4", "COM3 30000003-4", "COM4 10000004-5",
                                                 "COM4 40000004-5"}));
  EXPECT_EQ(com3.State().id1, "41");
  EXPECT_EQ(com4.State().id1, "41");
}
