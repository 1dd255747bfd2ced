// SPDX-License-Identifier: MIT
#include "discovery.h"

#include "port_names.h"
#include "serial_port.h"
#include "shown_text.h"

namespace {
// DescribePortOpenFailure's text without the port and device it starts with:
// the list names those itself.
std::string OpenFailureReason(const serial::PortOpenFailure& failure) {
  std::string text = serial::DescribePortOpenFailure(failure);
  std::string prefix = serial::PortName(failure.portNumber);
  if (!failure.devicePath.empty()) prefix += " (" + failure.devicePath + ")";
  prefix += ": ";
  return text::ShownText(text.rfind(prefix, 0) == 0 ? text.substr(prefix.size()) : text);
}
}  // namespace

PortFinding SameDeviceFinding(const BenchPort& port) {
  PortFinding finding;
  finding.kind = PortFinding::Kind::SameDevice;
  finding.port = port.port;
  finding.device = text::ShownText(port.device.value_or(""));
  finding.sameDeviceAs = port.sameDeviceAs;
  return finding;
}

PortFinding DiscoverPort(ModuleConnection& connection) {
  PortFinding finding;
  finding.port = connection.State().Scope.OnlyPortNumber();
  ExitCode code = connection.Scan(finding.module);
  // Every OpenPort fills the record, so it names the device in any case.
  const serial::PortOpenFailure& open = serial::LastPortOpenFailure(connection.State());
  finding.device = text::ShownText(open.devicePath);
  if (code == kExitOk) {
    finding.kind = PortFinding::Kind::Module;
    finding.device = finding.module.device;
  } else if (connection.Activity().framesSent > 0) {
    finding.kind = PortFinding::Kind::Silent;
    finding.answered = connection.Ledger().Answered("H00M");
  } else {
    finding.reason = connection.State().Stop.Requested() ? "the search was stopped" : OpenFailureReason(open);
  }
  return finding;
}
