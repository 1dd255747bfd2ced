// SPDX-License-Identifier: MIT
// rt420ctl scan: the scan as the window runs it, then what it read.
#include "module_steps.h"
#include "subcommands.h"

ExitCode RunScanCommand(CliSession& session) {
  ModuleReadout readout;
  ExitCode code = ScanModule(session, readout);
  if (session.Json()) {
    JsonObject result = OutcomeJson(session, code);
    if (readout.read) result.Add("module", ReadoutJson(readout));
    PrintLine(result.Text());
  } else if (readout.read) {
    PrintReadout(readout);
  }
  return code;
}
