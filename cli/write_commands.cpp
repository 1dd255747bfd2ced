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

#include "line_settings.h"
#include "stop_request.h"
#include "module_steps.h"
#include "operations.h"
#include "subcommands.h"

namespace {
// Sets the operator's choice for the subcommand and names its operation.
Operation Choose(ScriptedPanel& panel, const CliOptions& o) {
  switch (o.subcommand) {
    case Subcommand::SetId:
      panel.ChooseId(o.id1);
      if (o.id2) {
        // ID 2 is written in two-reader mode only: as an operator would,
        // pick "Two Reader" for the write (the module's mode is not changed).
        panel.ChooseId2(*o.id2);
        panel.SelectMode(0);
      }
      return commands::RunSetModuleIds;
    case Subcommand::SetBaud:
      panel.SelectLineSetting(o.lineSettingIndex);
      return commands::RunSetBaudRate;
    case Subcommand::SetKeys:
      panel.ChooseKeyCount(o.keyCount);
      return commands::RunSetKeyCount;
    case Subcommand::SetMode:
      panel.SelectMode(o.modeIndex);
      if (o.rs485Index) panel.SelectRs485(*o.rs485Index);
      return commands::RunSetModuleMode;
    default:
      return commands::RunFactoryDefault;
  }
}
// What factory-default writes: the module's factory configuration.
const std::vector<WrittenValue> kFactoryValues = {{"id1", "ID 1", "01"},
                                                  {"id2", "ID 2", "05"},
                                                  {"mode", "mode", "two"},
                                                  {"rs485", "RS-485", "32"},
                                                  {"line-setting", "line setting", serial::kDefaultLineSetting}};

// The values the subcommand means to write; module is the scan's readout.
std::vector<WrittenValue> Wanted(const CliOptions& o, const ModuleSettings& module) {
  switch (o.subcommand) {
    case Subcommand::SetId: {
      std::vector<WrittenValue> ids = {{"id1", "ID 1", text::TwoDigits(o.id1)}};
      // Without a second ID a one-reader module gets ID 1 only.
      if (o.id2) ids.push_back({"id2", "ID 2", text::TwoDigits(*o.id2)});
      else if (module.modeIndex == 0) ids.push_back({"id2", "ID 2", module.id2});
      return ids;
    }
    case Subcommand::SetBaud: return {{"line-setting", "line setting", serial::kLineSettings[o.lineSettingIndex]}};
    case Subcommand::SetKeys: return {{"key-count", "key count", text::TwoDigits(o.keyCount)}};
    case Subcommand::SetMode:
      return {{"mode", "mode", ModeName(o.modeIndex)},
              {"rs485", "RS-485", Rs485Name(o.rs485Index.value_or(module.rs485Index))}};
    default: return kFactoryValues;
  }
}

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
}  // namespace

ExitCode RunWriteCommand(CliConnection& connection) {
  const CliOptions& options = connection.Options();
  ModuleReadout readout;
  ExitCode code = ScanModule(connection, readout);
  bool wrote = code == kExitOk;
  std::vector<WrittenValue> accepted, missing;
  if (code != kExitOk && code != kExitPort && StopRequested()) code = kExitStopped;
  if (wrote && StopRequested()) {
    code = kExitStopped;
    missing = Wanted(options, readout.settings);
  } else if (wrote) {
    std::vector<WrittenValue> wanted = Wanted(options, readout.settings);
    code = RunOperation(connection, Choose(connection.Panel(), options));
    accepted = connection.Ledger().Accepted();
    missing = code == kExitOk ? std::vector<WrittenValue>{} : NotWritten(wanted, accepted);
    // Each run starts afresh, as the window does after a restart: the new
    // line setting is stored so that the next run finds the module at once.
    if (code == kExitOk && options.subcommand == Subcommand::SetBaud) connection.StoreScanResult();
  }
  ModuleReadout after = WithWritten(readout, accepted);
  if (wrote && !connection.Json()) PrintWriteText(code, readout, after, accepted, missing);
  if (connection.Json()) {
    JsonObject result = OutcomeJson(connection, code);
    if (readout.read) {
      result.Add("before", ReadoutJson(readout)).Add("module", ReadoutJson(after));
      result.Add("written", ValuesJson(accepted));
      if (code != kExitOk) result.Add("notWritten", ValuesJson(missing));
    }
    PrintLine(result.Text());
  }
  return code;
}
