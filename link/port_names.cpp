#include "port_names.h"

#include <utility>

namespace {
PortTableLookup& Table() {
  static PortTableLookup table;
  return table;
}
}  // namespace

void SetPortTable(PortTableLookup lookup) { Table() = std::move(lookup); }

std::string PortName(int portNumber) { return "COM" + std::to_string(portNumber); }

std::optional<std::string> ResolvePort(int portNumber) {
  if (portNumber < 1) return std::nullopt;
  if (auto systemPath = SystemPortPath(portNumber)) return systemPath;
  if (Table()) {
    if (auto explicitPath = Table()(PortName(portNumber))) {
      if (explicitPath->empty()) return std::nullopt;
      return explicitPath;
    }
  }
  std::vector<std::string> devices = ListSerialDevices();
  if (static_cast<size_t>(portNumber) > devices.size()) return std::nullopt;
  return devices[portNumber - 1];
}
