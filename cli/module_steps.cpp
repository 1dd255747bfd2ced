// SPDX-License-Identifier: MIT
#include "module_steps.h"

#include <algorithm>

#include "cli_options.h"
#include "line_settings.h"
#include "operations.h"
#include "port_explain.h"
#include "stop_request.h"
#include "port_names.h"
#include "serial_port.h"

namespace {
const char* OutcomeName(ExitCode code) {
  switch (code) {
    case kExitOk: return "ok";
    case kExitPort: return "port not opened";
    case kExitUsage: return "usage error";
    case kExitStopped: return "stopped";
    default: return "failed";
  }
}
}  // namespace

namespace {
// The port diagnosis's lines on stderr, after the program's name.
void PrintExplanation(const std::vector<std::string>& lines) {
  for (const std::string& line : lines) PrintErrorLine("rt420ctl: " + line);
}

// After a scan that did not find the module where the user expected it:
// what was searched, and why a port did not answer.
void ExplainScan(const CliConnection& connection, ExitCode code, int quickPort, const std::string& quickSetting) {
  const CliOptions& options = connection.Options();
  if (connection.Muted() || connection.OneOfSeveral() || code == kExitPort) return;
  const commands::Connection& c = connection.State();
  if (StopSignalled() && !(code == kExitOk && c.ModuleFound)) {
    PrintErrorLine("rt420ctl: the search was stopped");
    return;
  }
  bool found = code == kExitOk && c.ModuleFound;
  if (options.port && (!found || c.ScanCommNo != *options.port))
    PrintExplanation({ExplainQuickTryMissed(*options.port, found ? c.ScanCommNo : 0)});
  // Replies that came garbled: on a bus, every module answers address 00,
  // and their replies collide.
  if (!found && c.GarbledExchanges > 0)
    PrintErrorLine("rt420ctl: replies at " + c.LastGarbledSetting +
                   " came garbled: more than one module may have answered. Configuration needs one module on "
                   "the line (rt420ctl survey lists the modules of a bus)");
  // A module that answered but could not be read completely was found.
  if (!found && !connection.Ledger().Answered("H00M"))
    PrintExplanation(ExplainModuleNotFound(options.lock, quickPort, quickSetting));
  if (c.EchoHeard) PrintErrorLine("rt420ctl: the adapter echoes every frame it sends; the echoes were taken off");
}
}  // namespace

ExitCode ScanModule(CliConnection& connection, ModuleReadout& readout) {
  const CliOptions& options = connection.Options();
  commands::Connection& c = connection.State();
  if (options.port) c.ScanCommNo = *options.port;
  int quickPort = c.ScanCommNo;
  std::string quickSetting = c.ScanBaudRate;
  ExitCode code = RunOperation(connection, commands::RunModuleScan);
  connection.NoteDevicePresence();
  ExplainScan(connection, code, quickPort, quickSetting);
  if (code != kExitOk || !c.ModuleFound) return code == kExitOk ? kExitModule : code;
  if (options.port) connection.StoreScanResult();
  readout = connection.ReadOut();
  return kExitOk;
}

ExitCode RunOperation(CliConnection& connection, Operation operation) {
  ExitCode code = connection.RunOnPanel(operation);
  bool explain = !connection.Muted() && !connection.OneOfSeveral() && !StopSignalled();
  if (code == kExitPort && explain) PrintExplanation(ExplainNoPortOpened(connection.State().ScanCommNo));
  return code;
}

void PrintReadout(const ModuleReadout& r) {
  const ModuleSettings& s = r.settings;
  PrintLine("port:          " + serial::PortName(r.port) + (r.device.empty() ? "" : " (" + r.device + ")"));
  PrintLine("line setting:  " + r.lineSetting);
  PrintLine("serial number: " + r.serial);
  PrintLine("version:       " + r.version);
  PrintLine("ID 1:          " + s.id1);
  PrintLine("ID 2:          " + s.id2 + (s.modeIndex == 0 ? "" : " (not polled in one-reader mode)"));
  PrintLine("key count:     " + s.keyCount);
  PrintLine("mode:          " + ModeWords(s.modeIndex));
  PrintLine("RS-485:        " + Rs485Name(s.rs485Index));
}

JsonObject ReadoutJson(const ModuleReadout& r) {
  JsonObject json;
  json.Add("port", r.port).Add("device", r.device).Add("lineSetting", r.lineSetting);
  json.Add("lineSettingIndex", r.settings.lineSettingIndex).Add("serialNumber", r.serial).Add("version", r.version);
  json.Add("id1", r.settings.id1).Add("id2", r.settings.id2).Add("keyCount", r.settings.keyCount);
  json.Add("mode", ModeName(r.settings.modeIndex)).Add("rs485", Rs485Name(r.settings.rs485Index));
  return json;
}

JsonObject OutcomeJson(const CliConnection& connection, ExitCode code) {
  const std::vector<std::string>& messages = connection.MessagesShown();
  JsonObject json;
  json.Add("subcommand", connection.Options().subcommandName).Add("exitCode", static_cast<int>(code));
  json.Add("outcome", OutcomeName(code)).Add("message", messages.empty() ? std::string() : messages.back());
  json.Add("messages", messages);
  return json;
}

namespace {
std::string Change(const std::string& before, const std::string& after) {
  return before == after ? after : before + " -> " + after;
}
}  // namespace

void PrintChanges(const ModuleReadout& before, const ModuleReadout& after) {
  const ModuleSettings& b = before.settings;
  const ModuleSettings& a = after.settings;
  PrintLine("ID 1:          " + Change(b.id1, a.id1));
  PrintLine("ID 2:          " + Change(b.id2, a.id2));
  PrintLine("key count:     " + Change(b.keyCount, a.keyCount));
  PrintLine("mode:          " + Change(ModeWords(b.modeIndex), ModeWords(a.modeIndex)));
  PrintLine("RS-485:        " + Change(Rs485Name(b.rs485Index), Rs485Name(a.rs485Index)));
  PrintLine("line setting:  " + Change(before.lineSetting, after.lineSetting));
}

JsonObject ValuesJson(const std::vector<WrittenValue>& values) {
  JsonObject json;
  for (const WrittenValue& v : values) json.Add(v.key, v.value);
  return json;
}
