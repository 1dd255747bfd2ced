// SPDX-License-Identifier: MIT
// rt420ctl apply against a simulated module: only what differs is written,
// the module is read back, and a record goes to the CSV file; a module that
// does not keep a setting, or cannot be read back, is a failure. --repeat
// provisions the next module, and the next.
#include <csignal>

#include "cli_fixture.h"

namespace {
// The CSV record's fields (none of these records has a quoted comma but the
// line setting, which is the only field quoted).
std::vector<std::string> Fields(const std::string& line) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false;
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    else if (c == ',' && !quoted) fields.push_back(std::exchange(field, {}));
    else field += c;
  }
  fields.push_back(field);
  return fields;
}

constexpr size_t kFieldCount = 18;
constexpr size_t kSerial = 2, kId2Before = 5, kRs485Before = 9, kId2After = 11, kKeyAfter = 13, kRs485After = 15,
                 kWritten = 16, kOutcome = 17;
}  // namespace

TEST_F(CliTest, ApplyWritesOnlyWhatDiffersAndReadsTheModuleBack) {
  sim::SimModule& module = StoredModule();
  std::string profile = WriteFile("bench.ini", "# bench\n[module]\nid1 = 1\nid2 = 9\nkey-count = 4\nrs485 = 40\n");
  ChildResult r = Run({"apply", profile});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, "COM3 12345678-9: ok (wrote ids mode)")) << r.out;
  // The IDs (ID 1 goes with ID 2 in one operation) and the mode; the key
  // count and the line setting are left alone. Then the read-back scan.
  EXPECT_EQ(After(module, kScanFrames.size()),
            (std::vector<std::string>{"H00M", "H00C1234567801", "H00N", "H00C8765432109", "H00M", "H00A002",
                                      "H00M", "H00V", "H00L", "H00A", "H00N"}));
  EXPECT_EQ(module.State().id2, "09");
  EXPECT_EQ(module.State().rs485, '2');

  std::vector<std::string> lines = Lines(ReadFile(Dir() / "bench.csv"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].substr(0, 24), "time,port,serial,version");
  std::vector<std::string> record = Fields(lines[1]);
  ASSERT_EQ(record.size(), kFieldCount) << lines[1];
  EXPECT_EQ(record[1], "COM3");
  EXPECT_EQ(record[kSerial], "12345678-9");
  EXPECT_EQ(record[kId2Before], "05");
  EXPECT_EQ(record[kId2After], "09");
  EXPECT_EQ(record[kRs485Before], "32");
  EXPECT_EQ(record[kRs485After], "40");
  EXPECT_EQ(record[kWritten], "ids mode");
  EXPECT_EQ(record[kOutcome], "ok");

  // Applied again, nothing differs: nothing is written, the module is read back.
  module.ClearCommands();
  std::string csv = (Dir() / "other.csv").string();
  ChildResult again = Run({"--json", "apply", profile, "--csv", csv});
  EXPECT_EQ(again.exitCode, 0) << again.out;
  EXPECT_TRUE(Contains(again.out, "\"written\":[],\"outcome\":\"ok\"")) << again.out;
  EXPECT_EQ(After(module, kScanFrames.size()), kScanFrames);
  EXPECT_EQ(Lines(ReadFile(csv)).size(), 2u);
}

TEST_F(CliTest, AModuleThatDoesNotKeepASettingFailsItsReadBack) {
  sim::SimModule& module = StoredModule();
  // The module acknowledges the new key count and then forgets it.
  module.SetLogSink([&module](const std::string& line) {
    if (!Contains(line, " <- ") || !Contains(line, "H00L06")) return;
    sim::ModuleConfig config = module.State();
    config.keyCount = "04";
    module.SetState(config);
  });
  std::string profile = WriteFile("keys.ini", "key-count = 6\n");
  ChildResult r = Run({"apply", profile});
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_TRUE(Contains(r.out, "read-back differs: key-count (wrote key-count)")) << r.out;
  std::vector<std::string> record = Fields(Lines(ReadFile(Dir() / "keys.csv")).at(1));
  ASSERT_EQ(record.size(), kFieldCount);
  EXPECT_EQ(record[kKeyAfter], "04");
  EXPECT_EQ(record[kOutcome], "read-back differs: key-count");
  module.SetLogSink({});
}

TEST_F(CliTest, AModuleThatCannotBeReadBackFails) {
  sim::SimModule& module = StoredModule();
  module.SetLogSink([&module](const std::string& line) {
    if (Contains(line, " <- ") && Contains(line, "H00L06"))
      module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00V", -1));
  });
  std::string profile = WriteFile("keys.ini", "key-count = 6\n");
  ChildResult r = Run({"apply", profile});
  EXPECT_EQ(r.exitCode, 1) << r.out;
  EXPECT_TRUE(Contains(r.out, "read-back failed")) << r.out;
  EXPECT_EQ(Fields(Lines(ReadFile(Dir() / "keys.csv")).at(1))[kOutcome], "read-back failed");
  module.SetLogSink({});
}

TEST_F(CliTest, AFailedWriteEndsTheModulesRun) {
  sim::SimModule& module = StoredModule();
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00B", -1));
  std::string profile = WriteFile("p.ini", "key-count = 6\nmode = one\n");
  ChildResult r = Run({"apply", profile});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.out, "write failed: key-count")) << r.out;
  // Two attempts at the key count; nothing after it.
  EXPECT_EQ(After(module, kScanFrames.size()), (std::vector<std::string>{"H00B", "H00B"}));
}

TEST_F(CliTest, ApplyRepeatProvisionsEachNewModuleUntilInterrupted) {
  sim::SimModule& module = StoredModule();
  std::string profile = WriteFile("line.ini", "id1 = 21\n");
  std::unique_ptr<ChildProcess> child = Start({"apply", "--repeat", profile});
  ASSERT_TRUE(child->WaitForOutput("12345678-9: ok", std::chrono::seconds(60))) << child->Out();
  // The same module stays: it is not provisioned again. Another module
  // takes its place on the line (a new serial number, factory IDs).
  sim::ModuleConfig next;
  next.serial1 = "55555555";
  ASSERT_TRUE(module.SetState(next));
  ASSERT_TRUE(child->WaitForOutput("55555555-6: ok", std::chrono::seconds(60))) << child->Out();
  child->Signal(SIGINT);
  ChildResult r = child->Finish(kLimit);
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(module.State().id1, "21");
  // Each module's first scan, the wait between modules, and the summary.
  EXPECT_TRUE(Contains(r.out, "COM3 12345678-9 found: ID 1 01, ID 2 05, key count 04")) << r.out;
  EXPECT_TRUE(Contains(r.out, "ID 1:          01 -> 21\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "waiting for the next module\n")) << r.out;
  EXPECT_TRUE(Contains(r.out, "provisioned 2, failed 0, skipped (already as the profile says) 0\n")) << r.out;
  std::vector<std::string> lines = Lines(ReadFile(Dir() / "line.csv"));
  ASSERT_EQ(lines.size(), 3u) << ReadFile(Dir() / "line.csv");
  EXPECT_EQ(Fields(lines[1])[kSerial], "12345678-9");
  EXPECT_EQ(Fields(lines[2])[kSerial], "55555555-6");
}

TEST_F(CliTest, ApplyRecordsFromTheModuleNeverStartAFormula) {
  sim::ModuleConfig config;
  config.serial1 = "+1234567";
  config.version = "@SUM(12)";
  StoredModule(config);
  std::string profile = WriteFile("same.ini", "id1 = 1\n");
  ChildResult r = Run({"apply", profile});
  EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
  EXPECT_TRUE(Contains(r.out, "COM3 +1234567-8: ok")) << r.out;  // the terminal shows it as it came
  std::vector<std::vector<std::string>> records = ReadCsv(ReadFile(Dir() / "same.csv"));
  ASSERT_EQ(records.size(), 2u);
  ASSERT_EQ(records[1].size(), kFieldCount);
  EXPECT_EQ(records[1][kSerial], "'+1234567-8");
  EXPECT_EQ(records[1][kSerial + 1], "'@SUM(12)");
}
