// rt420ctl set-id, set-baud, set-keys, set-mode and factory-default. Like the
// window, each runs only after a scan has read the module, so each scans
// first in the same run. The values from the command line are then set on
// the panel as an operator would set them in the window before pressing the
// operation's button, and the operation runs.

#include "module_state.h"
#include "module_steps.h"
#include "operations.h"
#include "subcommands.h"

namespace {
// Sets the operator's choice for the subcommand and names its operation.
Operation Choose(ConsolePanel& panel, const CliOptions& o) {
  switch (o.subcommand) {
    case Subcommand::SetId:
      panel.ChooseId(o.id1);
      if (o.id2) {
        // ID 2 is written in two-reader mode only: as an operator would,
        // pick "Two Reader" for the write (the module's mode is not changed).
        panel.ChooseId2(*o.id2);
        panel.SelectMode(0);
      }
      return RunSetModuleIds;
    case Subcommand::SetBaud:
      panel.SelectLineSetting(o.lineSettingIndex);
      return RunSetBaudRate;
    case Subcommand::SetKeys:
      panel.ChooseKeyCount(o.keyCount);
      return RunSetKeyCount;
    case Subcommand::SetMode:
      panel.SelectMode(o.modeIndex);
      if (o.rs485Index) panel.SelectRs485(*o.rs485Index);
      return RunSetModuleMode;
    default:
      return RunFactoryDefault;
  }
}
}  // namespace

ExitCode RunWriteCommand(CliSession& session) {
  ModuleReadout readout;
  ExitCode code = ScanModule(session, readout);
  if (code == kExitOk) {
    code = RunOperation(session, Choose(session.Panel(), session.Options()));
    // Each run starts afresh, as the window does after a restart: the new
    // line setting is stored so that the next run finds the module at once.
    if (code == kExitOk && session.Options().subcommand == Subcommand::SetBaud) session.StoreScanResult();
  }
  if (session.Json()) {
    JsonObject result = OutcomeJson(session, code);
    if (readout.read) result.Add("module", ReadoutJson(readout));
    PrintLine(result.Text());
  }
  return code;
}
