// SPDX-License-Identifier: MIT
#pragma once
// Points the tool's port numbering at a simulated module: port portNumber
// ("COMn") is the given device path and every other port has nothing behind
// it, so that nothing reaches the machine's real serial ports.
//
//   SetPortTable(sim::SimPortTable(module.SlavePath(), 3));

#include <string>

#include "port_names.h"

namespace sim {

serial::PortTableLookup SimPortTable(const std::string& devicePath, int portNumber);

}  // namespace sim
