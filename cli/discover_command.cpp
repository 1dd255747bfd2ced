// SPDX-License-Identifier: MIT
// rt420ctl discover [--ports LIST]: every listed port searched at the same
// time, each by a connection of its own that tries the twelve line settings
// in the search's order and reads the module where one answers. Nothing is
// stored: scan --port N then picks one module. The list follows once every
// port is done, in increasing port order. Each port is resolved to its
// device once, at the start; a port whose device a lower port has is listed
// as the same device as that one and not searched twice.
#include <string>
#include <vector>

#include "discovery.h"
#include "module_steps.h"
#include "serial_port.h"
#include "port_names.h"
#include "subcommands.h"

namespace {
std::string FindingPortAndDevice(const PortFinding& f) {
  return serial::PortName(f.port) + (f.device.empty() ? "" : " (" + f.device + ")");
}

std::string DiscoveredModuleText(const ModuleReadout& m) {
  const ModuleSettings& s = m.settings;
  return m.lineSetting + " serial " + m.serial + " version " + m.version + " ID 1 " + s.id1 + " ID 2 " + s.id2 +
         " key count " + s.keyCount + " mode " + ModeWords(s.modeIndex) + " RS-485 " + Rs485Name(s.rs485Index);
}

std::string FindingText(const PortFinding& f) {
  switch (f.kind) {
    case PortFinding::Kind::Module: return FindingPortAndDevice(f) + ": " + DiscoveredModuleText(f.module);
    case PortFinding::Kind::Silent:
      return FindingPortAndDevice(f) + ": no module" + (f.answered ? " (one answered but could not be read)" : "");
    case PortFinding::Kind::SameDevice: return FindingPortAndDevice(f) + ": same device as " + serial::PortName(f.sameDeviceAs);
    default: return FindingPortAndDevice(f) + ": not opened: " + f.reason;
  }
}

int DiscoveredModuleCount(const std::vector<PortFinding>& findings) {
  int found = 0;
  for (const PortFinding& f : findings) found += f.kind == PortFinding::Kind::Module ? 1 : 0;
  return found;
}

ExitCode DiscoverExitCode(const std::vector<PortFinding>& findings) {
  if (DiscoveredModuleCount(findings) > 0) return kExitOk;
  for (const PortFinding& f : findings)
    if (f.kind == PortFinding::Kind::Silent) return kExitModule;
  return kExitPort;
}

void PrintDiscoveryJson(const std::vector<PortFinding>& findings, ExitCode code) {
  std::vector<JsonObject> modules, silent, notOpened, sameDevice;
  for (const PortFinding& f : findings) {
    JsonObject json;
    if (f.kind == PortFinding::Kind::Module) {
      modules.push_back(ReadoutJson(f.module));
      continue;
    }
    json.Add("port", f.port).Add("device", f.device);
    if (f.kind == PortFinding::Kind::Silent) silent.push_back(json.Add("answered", f.answered));
    else if (f.kind == PortFinding::Kind::SameDevice) sameDevice.push_back(json.Add("sameDeviceAs", f.sameDeviceAs));
    else notOpened.push_back(json.Add("reason", f.reason));
  }
  JsonObject result;
  result.Add("subcommand", "discover").Add("exitCode", static_cast<int>(code));
  result.Add("modules", modules).Add("silent", silent).Add("notOpened", notOpened);
  PrintLine(result.Add("sameDevice", sameDevice).Text());
}
}  // namespace

ExitCode RunDiscoverCommand(CliSession& session) {
  std::vector<BenchPort> bench = ResolveBench(session.Options().ports);
  std::vector<PortFinding> findings(bench.size());
  for (size_t i = 0; i < bench.size(); ++i)
    if (bench[i].sameDeviceAs) findings[i] = SameDeviceFinding(bench[i]);
  session.RunOnPorts(bench, [&findings](CliConnection& connection, size_t index) {
    findings[index] = DiscoverPort(connection);
  });
  // A connection whose work failed left its finding empty: its port stands.
  for (size_t i = 0; i < bench.size(); ++i) findings[i].port = bench[i].port;
  ExitCode code = DiscoverExitCode(findings);
  if (session.Json()) {
    PrintDiscoveryJson(findings, code);
    return code;
  }
  for (const PortFinding& f : findings) PrintLine(FindingText(f));
  PrintLine("found " + std::to_string(DiscoveredModuleCount(findings)) + " module(s) on " + std::to_string(findings.size()) +
            " port(s) searched");
  return code;
}
