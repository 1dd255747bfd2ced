// SPDX-License-Identifier: MIT
#include "sim_port.h"

namespace sim {

serial::PortTableLookup SimPortTable(const std::string& devicePath, int portNumber) {
  std::string name = serial::PortName(portNumber);
  return [devicePath, name](const std::string& asked) -> std::optional<std::string> {
    return asked == name ? devicePath : std::string();
  };
}

}  // namespace sim
