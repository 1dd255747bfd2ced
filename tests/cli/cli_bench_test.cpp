// SPDX-License-Identifier: MIT
// rt420ctl discover and apply --ports: one connection per port in one
// process, against simulated modules at assorted line settings, a port whose
// device is missing, one held by another program, and a module that falls
// silent in the middle. Each module's frame log must hold its own
// connection's frames only.
#include <csignal>
#include <iterator>
#include <set>

#include "cli_fixture.h"
#include "serial_device.h"

namespace {
// A module of its own: serial numbers and IDs that name its port, at a line
// setting whose parity the pseudo-terminal cannot tell apart (the even
// indexes: the scan finds each at its very own setting).
sim::ModuleConfig ModuleOnPort(int port, int lineIndex) {
  sim::ModuleConfig config;
  config.serial1 = "1000000" + std::to_string(port);
  config.serial2 = "2000000" + std::to_string(port);
  config.id1 = "1" + std::to_string(port);
  config.id2 = "2" + std::to_string(port);
  config.keyCount = "0" + std::to_string(port);
  config.rs485 = port % 2 ? '0' : '2';
  config.lineIndex = lineIndex;
  return config;
}

// The serial number as the scan shows it: the last digit plus one follows.
std::string SerialShown(const sim::ModuleConfig& c) {
  return c.serial1 + "-" + std::to_string(c.serial1.back() - '0' + 1);
}

const char* const kLineSettingTexts[] = {"4800,n,8,1", "4800,e,8,1", "9600,n,8,1", "9600,e,8,1",
                                         "19200,n,8,1", "19200,e,8,1", "38400,n,8,1", "38400,e,8,1",
                                         "57600,n,8,1", "57600,e,8,1", "115200,n,8,1", "115200,e,8,1"};

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

// A module's frame log with each run of identity frames taken as one. A
// loaded machine can make a scan repeat its identity frame (a reply held
// back past its window), or hold a frame of the search's previous line
// setting until the port was reopened at the module's own, so that the
// module takes it too; neither changes what the connection asked.
std::vector<std::string> IdentityRunsAsOne(const std::vector<std::string>& commands) {
  std::vector<std::string> kept;
  for (const std::string& command : commands)
    if (!(command == "H00M" && !kept.empty() && kept.back() == "H00M")) kept.push_back(command);
  return kept;
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
  DeviceOpenResult holder = OpenSerialDevice(held.SlavePath());
  ASSERT_NE(holder.device, nullptr);

  ChildResult text = Run({"discover", "--ports", "3-8"});
  EXPECT_EQ(text.exitCode, 0) << text.out << text.err;
  std::vector<std::string> lines = Lines(text.out);
  ASSERT_EQ(lines.size(), 7u) << text.out;
  for (const auto& [port, line] : placed) {
    sim::ModuleConfig c = ModuleOnPort(port, line);
    std::string com = "COM" + std::to_string(port);
    EXPECT_EQ(lines[static_cast<size_t>(port - 3)],
              com + " (" + modules[port]->SlavePath() + "): " + kLineSettingTexts[line] + " serial " + SerialShown(c) +
                  " version 03.20-01 ID 1 " + c.id1 + " ID 2 " + c.id2 + " key count " + c.keyCount +
                  " mode two readers RS-485 " + Rs485Text(c.rs485));
  }
  EXPECT_EQ(lines[3].rfind("COM6 (" + missing + "): not opened: missing", 0), 0u) << lines[3];
  EXPECT_EQ(lines[4].rfind("COM7 (" + held.SlavePath() + "): not opened: busy", 0), 0u) << lines[4];
  EXPECT_EQ(lines[5], "COM8 (" + silent.SlavePath() + "): no module");
  EXPECT_EQ(lines[6], "found 3 module(s) on 6 port(s) searched");

  ChildResult json = Run({"--json", "discover", "--ports", "3,6,7"});
  EXPECT_EQ(json.exitCode, 0) << json.out;
  sim::ModuleConfig c3 = ModuleOnPort(3, 0);
  EXPECT_TRUE(Contains(json.out, "{\"subcommand\":\"discover\",\"exitCode\":0,\"modules\":[{\"port\":3,\"device\":\"" +
                                     modules[3]->SlavePath() +
                                     "\",\"lineSetting\":\"4800,n,8,1\",\"lineSettingIndex\":0,\"serialNumber\":\"" +
                                     SerialShown(c3) + "\",\"version\":\"03.20-01\",\"id1\":\"13\",\"id2\":\"23\"," +
                                     "\"keyCount\":\"03\",\"mode\":\"two\",\"rs485\":\"24\"}],\"silent\":[]," +
                                     "\"notOpened\":[{\"port\":6,\"device\":\"" + missing + "\",\"reason\":\"missing"))
      << json.out;
  EXPECT_TRUE(Contains(json.out, "{\"port\":7,\"device\":\"" + held.SlavePath() + "\",\"reason\":\"busy")) << json.out;
  EXPECT_EQ(Lines(json.out).size(), 1u) << json.out;

  // Each module heard its own connection's scan alone, once per run that
  // searched it; the held port and the store were left alone.
  EXPECT_EQ(IdentityRunsAsOne(modules[3]->Commands()), Concat(kScanFrames, kScanFrames));
  EXPECT_EQ(IdentityRunsAsOne(modules[4]->Commands()), kScanFrames);
  EXPECT_EQ(IdentityRunsAsOne(modules[5]->Commands()), kScanFrames);
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

  // With several connections every trace line names its port.
  ChildResult traced = Run({"--trace", "discover", "--ports", "3,6"});
  std::vector<std::string> trace = Lines(traced.err);
  ASSERT_EQ(trace.size(), kScanFrames.size() * 2) << traced.err;
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
    EXPECT_EQ(IdentityRunsAsOne(modules[port]->Commands()), Concat(Concat(kScanFrames, writes), kScanFrames)) << port;
    sim::ModuleConfig state = modules[port]->State();
    EXPECT_EQ(state.id1 + state.id2 + state.keyCount + state.rs485, "3132062");
  }
  const std::vector<std::string>& silent = byPort["COM5"];
  EXPECT_EQ(silent[kSerial], SerialShown(ModuleOnPort(5, 0)));
  EXPECT_EQ(silent[kOutcome].rfind("write failed: ids", 0), 0u) << silent[kOutcome];
  std::vector<std::string> heard = IdentityRunsAsOne(modules[5]->Commands());
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
    sim::ModuleConfig next = module->State();
    next.serial1 = serial;
    next.id1 = "01";
    ASSERT_TRUE(module->SetState(next));
    ASSERT_TRUE(child->WaitForOutput(serial + "-" + std::to_string(serial.back() - '0' + 1) + ": ok", limit))
        << child->Out();
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
