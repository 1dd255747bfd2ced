// SPDX-License-Identifier: MIT
// Ctrl+C outside watch: the first says so and lets the step in progress end
// (a search ends at the next port, a write is finished), the second ends the
// program at once; nothing half-written is stored.
#include <csignal>

#include "cli_fixture.h"

namespace {
constexpr char kStoppingLine[] = "stopping after this step; Ctrl+C again to quit now";
}  // namespace

TEST_F(CliTest, ACtrlCEndsTheSearchAtTheNextPort) {
  constexpr int kPorts = 4;
  std::vector<sim::SimModule*> silent;
  for (int port = 1; port <= kPorts; ++port) {
    silent.push_back(&AddModule(port));
    silent.back()->AddFault(sim::MakeFault(sim::FaultKind::NoReply, "", -1));
  }
  WriteSettings();
  std::string before = ReadFile(SettingsPath());
  std::unique_ptr<ChildProcess> child = Start({"scan"});
  // COM1 alone takes seconds: 12 line settings, two unanswered tries each.
  ASSERT_TRUE(silent[0]->WaitForCommands(1, std::chrono::seconds(60)));
  child->Signal(SIGINT);
  ChildResult r = child->Finish(kLimit);
  EXPECT_EQ(r.exitCode, 1) << r.out << r.err;
  EXPECT_EQ(r.signal, 0);
  EXPECT_TRUE(Contains(r.err, kStoppingLine)) << r.err;
  EXPECT_TRUE(Contains(r.err, "the search was stopped")) << r.err;
  for (int port = 2; port <= kPorts; ++port)
    EXPECT_TRUE(silent[port - 1]->Commands().empty()) << "COM" << port << ": " << Joined(silent[port - 1]->Commands());
  EXPECT_EQ(ReadFile(SettingsPath()), before);
}

TEST_F(CliTest, ACtrlCLetsAWriteFinishAndASecondEndsAtOnce) {
  const std::vector<std::string> kFactoryFrames = {"H00M", "H00C1234567801", "H00N", "H00C8765432105",
                                                   "H00A001", "H00E5"};
  for (int signals : {1, 2}) {
    SCOPED_TRACE(std::to_string(signals) + " signals");
    sim::ModuleConfig config;
    config.id1 = "33";
    sim::SimModule& module = StoredModule(config);
    // Every reply late, well inside the reply window: the write takes a while.
    module.AddFault(sim::MakeFault(sim::FaultKind::Delay, "", -1, 60));
    std::string before = ReadFile(SettingsPath());
    std::unique_ptr<ChildProcess> child = Start({"factory-default"});
    ASSERT_TRUE(module.WaitForCommands(kScanFrames.size() + 1, std::chrono::seconds(60)));
    child->Signal(SIGINT);
    if (signals == 2) {
      // The second only after the first was taken: signals of one kind
      // that are both pending count once.
      ASSERT_TRUE(child->WaitForError(kStoppingLine, std::chrono::seconds(60)));
      child->Signal(SIGINT);
    }
    ChildResult r = child->Finish(kLimit);
    EXPECT_TRUE(Contains(r.err, kStoppingLine)) << r.err;
    std::vector<std::string> writes = After(module, kScanFrames.size());
    if (signals == 1) {
      EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
      EXPECT_EQ(writes, kFactoryFrames);
      EXPECT_EQ(module.State().id1, "01");
    } else {
      EXPECT_EQ(r.signal, SIGINT) << r.out << r.err;
      EXPECT_LT(writes.size(), kFactoryFrames.size()) << Joined(writes);
    }
    EXPECT_EQ(ReadFile(SettingsPath()), before);
  }
}
