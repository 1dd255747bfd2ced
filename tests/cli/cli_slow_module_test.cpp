// SPDX-License-Identifier: MIT
// rt420ctl scan against a slow module that queues what comes in while it is
// busy, found where the window stored it: the quick try's repeated identity
// frames build a backlog of identity replies. The scan either fails (exit 1)
// or succeeds, and every value it prints is exactly the module's own, never
// one taken from the reply to another command.
#include "cli_fixture.h"
#include "frames_received.h"

namespace {

struct Field {
  const char* name;
  const char* own;  // the whole line, with the simulated module's default value
};

const Field kFields[] = {{"serial number:", "serial number: 12345678-9"}, {"version:", "version:       03.20-01"},
                         {"ID 1:", "ID 1:          01"},                  {"ID 2:", "ID 2:          05"},
                         {"key count:", "key count:     04"},             {"mode:", "mode:          two readers"},
                         {"RS-485:", "RS-485:        32"}};

}  // namespace

TEST_F(CliTest, ScanOfASlowQueueingModuleFailsOrPrintsItsOwnValues) {
  for (int lateMs : {200, 400}) {
    SCOPED_TRACE(std::to_string(lateMs) + " ms late");
    sim::SimModule& module = StoredModule();
    module.AddFault(sim::MakeFault(sim::FaultKind::LateQueue, "", -1, lateMs));
    ChildResult r = Run({"scan"});
    EXPECT_TRUE(r.exitCode == 0 || r.exitCode == 1) << r.exitCode << "\n" << r.out << r.err;
    for (const Field& field : kFields) {
      const bool shown = Contains(r.out, field.name);
      EXPECT_TRUE(shown || r.exitCode != 0) << "a success without " << field.name << "\n" << r.out;
      if (shown) {
        EXPECT_TRUE(Contains(r.out, field.own)) << "not the module's own: " << field.name << "\n" << r.out;
      }
    }
    // Frames it read at another speed count too: under load a frame can
    // reach it only after the search has moved on to the next line setting.
    EXPECT_GT(FramesReceived(module), 1u) << "the module was not asked";
  }
}
