#pragma once
// The module-wide state of the module operations, in one object: where the
// module was last found (the scan result), whether the last scan read it
// completely (the module-found flag), and whether Wiegand processing runs.

#include <cstdint>
#include <string>

#include "line_settings.h"

struct ModuleState {
  // The scan result: port number (0 = none known), line setting and its index.
  int32_t ScanCommNo = 0;
  std::string ScanBaudRate = kDefaultLineSetting;
  int32_t ScanBaudRateNo = kDefaultLineSettingNo;
  // Set only by a scan that read the module completely.
  bool ModuleFound = false;
  // True exactly while a Wiegand processing loop runs.
  bool Processing = false;
};

extern ModuleState Module;
