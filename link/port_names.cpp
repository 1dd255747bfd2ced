// SPDX-License-Identifier: MIT
#include "port_names.h"

#include <utility>

namespace {
PortTableLookup& Table() {
  static PortTableLookup table;
  return table;
}
DeviceLister& Lister() {
  static DeviceLister lister;
  return lister;
}
}  // namespace

PortTableAnswer::PortTableAnswer(std::optional<std::string> entry) {
  if (!entry) return;
  kind = Kind::Entry;
  path = std::move(*entry);
}

PortTableAnswer PortTableAnswer::Unreadable() {
  PortTableAnswer answer;
  answer.kind = Kind::Unreadable;
  return answer;
}

void SetPortTable(PortTableLookup lookup) { Table() = std::move(lookup); }

void SetDeviceLister(DeviceLister lister) { Lister() = std::move(lister); }

std::string PortName(int portNumber) { return "COM" + std::to_string(portNumber); }

PortTableAnswer LookUpPortTable(int portNumber) {
  if (!Table()) return {};
  return Table()(PortName(portNumber));
}

std::optional<std::string> ResolvePort(int portNumber) {
  if (portNumber < 1) return std::nullopt;
  if (auto systemPath = SystemPortPath(portNumber)) return systemPath;
  PortTableAnswer answer = LookUpPortTable(portNumber);
  if (answer.kind == PortTableAnswer::Kind::Unreadable) return std::nullopt;
  if (answer.kind == PortTableAnswer::Kind::Entry) {
    if (answer.path.empty()) return std::nullopt;
    return answer.path;
  }
  std::vector<std::string> devices = Lister() ? Lister()() : ListSerialDevices();
  if (static_cast<size_t>(portNumber) > devices.size()) return std::nullopt;
  return devices[portNumber - 1];
}
