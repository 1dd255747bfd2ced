// SPDX-License-Identifier: MIT
#pragma once
// The module-wide state of the module operations, in one object: where the
// module was last found (the scan result), whether the last scan read it
// completely (the module-found flag), and whether Wiegand processing runs.

#include <cstdint>
#include <string>

#include "settings_store.h"

// The scan result (ScanCommNo, ScanBaudRate, ScanBaudRateNo) is the part the
// settings store keeps between runs.
struct ModuleState : ScanResult {
  // Set only by a scan that read the module completely.
  bool ModuleFound = false;
  // True while a Wiegand processing loop runs and no stop was requested.
  bool Processing = false;
  // True while a processing invocation is on the stack, from its start to
  // its very end (port closed, controls back), stop request or not.
  bool ProcessingActive = false;
};

extern ModuleState Module;
