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

TEST_F(CliTest, SetIdWritesBothIdsOfATwoReaderModule) {
  sim::SimModule& module = StoredModule();
  ChildResult r = Run({"set-id", "12", "7"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, "Set Module ID = 12\nSet Module ID Ok")) << r.out;
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00M", "H00C1234567812", "H00N", "H00C8765432107"}));
  EXPECT_EQ(module.State().id1, "12");
  EXPECT_EQ(module.State().id2, "07");
}

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

TEST_F(CliTest, SetKeysSendsTheCountAsTwoDigits) {
  sim::SimModule& module = StoredModule();
  ChildResult r = Run({"set-keys", "6"});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_TRUE(Contains(r.out, "Set Reader Key Ok")) << r.out;
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00B", "H00L06"}));
  EXPECT_EQ(module.State().keyCount, "06");
}

TEST_F(CliTest, SetModeWritesModeAndRs485InOneCommand) {
  sim::ModuleConfig config;
  config.rs485 = '0';
  sim::SimModule& module = StoredModule(config);
  EXPECT_EQ(Run({"set-mode", "one", "--rs485", "40"}).exitCode, 0);
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00M", "H00A102"}));
  EXPECT_EQ(module.State().mode, '1');
  EXPECT_EQ(module.State().rs485, '2');
  // Without --rs485 the module keeps the setting it has.
  module.ClearCommands();
  EXPECT_EQ(Run({"set-mode", "two"}).exitCode, 0);
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00M", "H00A002"}));
}

TEST_F(CliTest, FactoryDefaultSendsTheSixFrames) {
  sim::ModuleConfig config;
  config.id1 = "33";
  config.id2 = "44";
  config.mode = '1';
  sim::SimModule& module = StoredModule(config);
  ChildResult r = Run({"factory-default"});
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_TRUE(Contains(r.out, "Set Factory Default Ok")) << r.out;
  EXPECT_EQ(Writes(module), (std::vector<std::string>{"H00M", "H00C1234567801", "H00N", "H00C8765432105",
                                                      "H00A001", "H00E5"}));
  EXPECT_EQ(module.State().id1, "01");
  EXPECT_EQ(module.State().id2, "05");
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
