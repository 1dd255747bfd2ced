// SPDX-License-Identifier: MIT
#pragma once
// The module state of the module operations, one object per connection:
// where the module was last found (the scan result), whether the last scan
// read it completely (the module-found flag), and whether Wiegand processing
// runs. Like the link (link_state.h) it is thread_local: a connection is a
// thread, with one port, one module and one operator panel.

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
  // Whether the scan writes the scan result it finds to the settings store.
  // Connections that look at one port of many (discovery, a bench of ports)
  // keep it to themselves: the store remembers one module, not many.
  bool StoreScanResult = true;
};

extern thread_local ModuleState Module;
