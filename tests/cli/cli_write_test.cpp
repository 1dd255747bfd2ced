// SPDX-License-Identifier: MIT
// The writing subcommands against a simulated module: each scans first (the
// quick try at the stored port), then sends the operation's frames with the
// values from the command line, and the module holds the new settings.
#include "cli_fixture.h"

namespace {
// The frames after the scan's five.
std::vector<std::string> Writes(const sim::SimModule& module) {
  std::vector<std::string> all = module.Commands();
  EXPECT_GE(all.size(), 5u);
  if (all.size() < 5) return {};
  EXPECT_EQ(std::vector<std::string>(all.begin(), all.begin() + 5),
            (std::vector<std::string>{"H00M", "H00V", "H00L", "H00A", "H00N"}));
  return {all.begin() + 5, all.end()};
}
}  // namespace

TEST_F(CliTest, SetIdOnAOneReaderModuleWritesIdTwoOnlyWhenGiven) {
  sim::ModuleConfig config;
  config.mode = '1';
  sim::SimModule& module = StoredModule(config);
  EXPECT_EQ(Run({"set-id", "9"}).exitCode, 0);
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00M", "H00C1234567809", "H00N"}));
  EXPECT_EQ(module.State().id2, "05");

  module.ClearCommands();
  EXPECT_EQ(Run({"set-id", "9", "42"}).exitCode, 0);
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00M", "H00C1234567809", "H00N", "H00C8765432142"}));
  EXPECT_EQ(module.State().id2, "42");
  EXPECT_EQ(module.State().mode, '1');  // the module's mode is not changed
}

TEST_F(CliTest, SetBaudChangesTheLineSettingAndTheNextRunFollows) {
  sim::SimModule& module = StoredModule();
  ChildResult r = Run({"set-baud", "38400,E,8,1"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00M", "H00E7"}));
  ASSERT_TRUE(module.WaitForLogLine("line setting now 7", std::chrono::seconds(5)));
  EXPECT_EQ(Stored().ScanBaudRateNo, 7);
  EXPECT_EQ(Stored().ScanBaudRate, "38400,e,8,1");
  // The next run's quick try talks at the new setting.
  module.ClearCommands();
  EXPECT_EQ(Run({"set-baud", "11"}).exitCode, 0);
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00M", "H00EB"}));
}

TEST_F(CliTest, SetModeWithoutRs485KeepsTheModulesOwn) {
  sim::ModuleConfig config;
  config.rs485 = '0';
  sim::SimModule& module = StoredModule(config);
  EXPECT_EQ(Run({"set-mode", "two"}).exitCode, 0);
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00M", "H00A000"}));
}

// Each write: its frames, its message, the echo of every setting, the
// module's state, and the JSON result that reports the state after the write
// and what was written.
TEST_F(CliTest, EachWriteSendsItsFramesAndReportsWhatItWrote) {
  struct Case {
    std::vector<std::string> args;
    sim::ModuleConfig config;
    std::string message;
    std::vector<std::string> frames;
    std::vector<std::string> echo;
    std::string written;      // the JSON "written" object
    std::string moduleAfter;  // part of the JSON "module" object
    std::vector<std::string> state;  // id1, id2, key count, mode, RS-485 of the module after
  };
  sim::ModuleConfig oneReader33;
  oneReader33.id1 = "33";
  oneReader33.id2 = "44";
  oneReader33.mode = '1';
  sim::ModuleConfig rs485At24;
  rs485At24.rs485 = '0';
  const Case cases[] = {
      {{"set-id", "12", "7"}, {}, "Set Module ID = 12\nSet Module ID Ok",
       {"H00M", "H00C1234567812", "H00N", "H00C8765432107"},
       {"written:       ID 1 12, ID 2 07", "ID 1:          01 -> 12", "ID 2:          05 -> 07", "key count:     04"},
       "{\"id1\":\"12\",\"id2\":\"07\"}", "\"id1\":\"12\",\"id2\":\"07\",\"keyCount\":\"04\"",
       {"12", "07", "04", "0", "1"}},
      {{"set-keys", "6"}, {}, "Set Reader Key Ok", {"H00B", "H00L06"},
       {"written:       key count 06", "key count:     04 -> 06", "ID 1:          01"},
       "{\"key-count\":\"06\"}", "\"keyCount\":\"06\"", {"01", "05", "06", "0", "1"}},
      {{"set-mode", "one", "--rs485", "40"}, rs485At24, "Set Module Mode Ok", {"H00M", "H00A102"},
       {"written:       mode one reader, RS-485 40", "mode:          two readers -> one reader",
        "RS-485:        24 -> 40"},
       "{\"mode\":\"one\",\"rs485\":\"40\"}", "\"mode\":\"one\",\"rs485\":\"40\"", {"01", "05", "04", "1", "2"}},
      {{"factory-default"}, oneReader33, "Set Factory Default Ok",
       {"H00M", "H00C1234567801", "H00N", "H00C8765432105", "H00A001", "H00E5"},
       {"written:       ID 1 01, ID 2 05, mode two readers, RS-485 32, line setting 19200,e,8,1",
        "ID 1:          33 -> 01", "mode:          one reader -> two readers", "line setting:  19200,e,8,1"},
       "{\"id1\":\"01\",\"id2\":\"05\",\"mode\":\"two\",\"rs485\":\"32\",\"line-setting\":\"19200,e,8,1\"}",
       "\"id1\":\"01\",\"id2\":\"05\",\"keyCount\":\"04\",\"mode\":\"two\",\"rs485\":\"32\"",
       {"01", "05", "04", "0", "1"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    for (bool json : {false, true}) {
      sim::SimModule& module = StoredModule(c.config);
      std::vector<std::string> args = c.args;
      if (json) args.insert(args.begin(), "--json");
      ChildResult r = Run(args);
      EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
      EXPECT_EQ(Writes(module), c.frames);
      sim::ModuleConfig s = module.State();
      EXPECT_EQ((std::vector<std::string>{s.id1, s.id2, s.keyCount, {s.mode}, {s.rs485}}), c.state);
      if (!json) {
        EXPECT_TRUE(Contains(r.out, c.message)) << r.out;
        for (const std::string& line : c.echo) EXPECT_TRUE(Contains(r.out, line + "\n")) << line << "\n" << r.out;
        continue;
      }
      EXPECT_TRUE(Contains(r.out, "\"written\":" + c.written)) << r.out;
      size_t after = r.out.find("\"module\":{");
      ASSERT_NE(after, std::string::npos) << r.out;
      EXPECT_TRUE(Contains(r.out.substr(after, r.out.find('}', after) - after), c.moduleAfter)) << r.out;
    }
  }
}

// A write that fails half-way says what the module took and what it did not.
TEST_F(CliTest, AHalfDoneWriteSaysWhatWasWritten) {
  struct Case {
    std::vector<std::string> args;
    sim::Fault fault;
    std::string text;
    std::string json;
  };
  const Case cases[] = {
      // "H00N" must bring 16 characters for the ID write, not for the scan.
      {{"set-id", "12", "7"}, sim::MakeFault(sim::FaultKind::WrongLength, "H00N", -1, 17),
       "written before the failure: ID 1 12; not written: ID 2 07",
       "\"written\":{\"id1\":\"12\"},\"notWritten\":{\"id2\":\"07\"}"},
      {{"factory-default"}, sim::MakeFault(sim::FaultKind::NoReply, "H00E", -1),
       "written before the failure: ID 1 01, ID 2 05, mode two readers, RS-485 32; not written: line setting "
       "19200,e,8,1",
       "\"notWritten\":{\"line-setting\":\"19200,e,8,1\"}"},
      {{"apply", WriteFile("ids.ini", "id1 = 12\nid2 = 7\n")}, sim::MakeFault(sim::FaultKind::WrongLength, "H00N", -1, 17),
       "write failed: ids (written before the failure: ID 1 12)",
       "\"written\":[\"id1\"],\"outcome\":\"write failed: ids (written before the failure: ID 1 12)\""},
      {{"set-keys", "6"}, sim::MakeFault(sim::FaultKind::NoReply, "H00L", -1),
       "written before the failure: nothing; not written: key count 06", "\"written\":{},"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    for (bool json : {false, true}) {
      sim::SimModule& module = StoredModule();
      module.AddFault(c.fault);
      std::vector<std::string> args = c.args;
      if (json) args.insert(args.begin(), "--json");
      ChildResult r = Run(args);
      EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
      EXPECT_TRUE(Contains(r.out, json ? c.json : c.text)) << r.out;
    }
  }
}

TEST_F(CliTest, AWriteTheModuleDoesNotAnswerFailsAfterTwoAttempts) {
  sim::SimModule& module = StoredModule();
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00C", -1));
  ChildResult r = Run({"set-id", "12"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.out, "Set Module ID Error")) << r.out;
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00M", "H00C1234567812", "H00M", "H00C1234567812"}));
}

TEST_F(CliTest, NoWriteWithoutAModuleFound) {
  sim::SimModule& module = StoredModule();
  module.AddFault(sim::MakeFault(sim::FaultKind::NoReply, "H00V", -1));
  // The scan hears "H00M" but cannot read the module completely.
  ChildResult r = Run({"--json", "set-keys", "6"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(Contains(r.out, "\"outcome\":\"failed\"")) << r.out;
  for (const std::string& command : module.Commands()) EXPECT_NE(command, "H00L06");
  EXPECT_EQ(module.State().keyCount, "04");
}
