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
  // True exactly while a Wiegand processing loop runs.
  bool Processing = false;
};

extern ModuleState Module;
