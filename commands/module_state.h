// SPDX-License-Identifier: MIT
#pragma once
// The module state of the module operations: where the module was last
// found (the scan result), whether the last scan read it completely (the
// module-found flag), and whether Wiegand processing runs. It is part of a
// connection (connection.h), never shared between connections.

#include <cstdint>
#include <string>

#include "settings_store.h"

namespace commands {

// The scan result (ScanCommNo, ScanBaudRate, ScanBaudRateNo) is the part the
// settings store keeps between runs.
struct ModuleState : store::ScanResult {
  // Set only by a scan that read the module completely.
  bool ModuleFound = false;
  // True while a Wiegand processing loop runs and no stop was requested.
  bool Processing = false;
  // True while a processing invocation is on the stack, from its start to
  // its very end (port closed, controls back), stop request or not.
  bool ProcessingActive = false;
  // Whether the scan writes the scan result it finds to the settings store.
  // Off unless the connection's owner turns it on: the store remembers the
  // one module of the window and of the command line's own connection, not
  // the many of a bench of ports.
  bool StoreScanResult = false;
};

}  // namespace commands
