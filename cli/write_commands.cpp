// SPDX-License-Identifier: MIT
// rt420ctl set-id, set-baud, set-keys, set-mode and factory-default. Like the
// window, each runs only after a scan has read the module, so each scans
// first in the same run. The values from the command line are then set on
// the panel as an operator would set them in the window before pressing the
// operation's button, and the operation runs.
//
// A stop that comes before the write begins (during the scan) writes
// nothing: the run ends as stopped, saying what was not written. A write
// that has begun is finished.

#include <map>

#include "module_steps.h"
#include "single_write.h"
#include "stop_request.h"
#include "subcommands.h"

namespace {
// After a write that ran: what the module took, and on a failure what it
// did not take, so that a half-done write is never mistaken for none.
void PrintWriteText(ExitCode code, const ModuleReadout& before, const ModuleReadout& after,
                    const std::vector<WrittenValue>& accepted, const std::vector<WrittenValue>& missing) {
  if (code == kExitStopped)
    PrintLine("stopped before the write: nothing written; not written: " + DescribeValues(missing));
  else if (code != kExitOk)
    PrintLine("written before the failure: " + DescribeValues(accepted) + "; not written: " + DescribeValues(missing));
  else
    PrintLine("written:       " + DescribeValues(accepted));
  PrintChanges(before, after);
}

// The command line's choice for the subcommand.
WriteChoice ChoiceOf(const CliOptions& o) {
  static const std::map<Subcommand, WriteKind> kKinds = {{Subcommand::SetId, WriteKind::Ids},
                                                         {Subcommand::SetBaud, WriteKind::LineSetting},
                                                         {Subcommand::SetKeys, WriteKind::KeyCount},
                                                         {Subcommand::SetMode, WriteKind::Mode}};
  auto kind = kKinds.find(o.subcommand);
  return {kind == kKinds.end() ? WriteKind::FactoryDefault : kind->second, o.id1, o.id2, o.lineSettingIndex,
          o.keyCount, o.modeIndex, o.rs485Index};
}
}  // namespace

ExitCode RunWriteCommand(CliConnection& connection) {
  const CliOptions& options = connection.Options();
  ModuleReadout readout;
  ExitCode code = ScanModule(connection, readout);
  bool wrote = code == kExitOk;
  if (code != kExitOk && code != kExitPort && StopRequested()) code = kExitStopped;
  WriteResult written;
  written.after = readout;
  if (wrote) {
    written = WriteSetting(connection, ChoiceOf(options), readout);
    code = written.code;
  }
  if (wrote && !connection.Json()) PrintWriteText(code, readout, written.after, written.accepted, written.missing);
  if (connection.Json()) {
    JsonObject result = OutcomeJson(connection, code);
    if (readout.read) {
      result.Add("before", ReadoutJson(readout)).Add("module", ReadoutJson(written.after));
      result.Add("written", ValuesJson(written.accepted));
      if (code != kExitOk) result.Add("notWritten", ValuesJson(written.missing));
    }
    PrintLine(result.Text());
  }
  return code;
}
