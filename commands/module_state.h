#pragma once
// The module-wide state of the module operations, in one object: where the
// module was last found (the scan result), whether the last scan read it
// completely (the module-found flag), and whether Wiegand processing runs.

#include <cstdint>
#include <string>

// The line-setting list in search order; also the entries of cmbBaudRate.
inline constexpr int kLineSettingCount = 12;
inline constexpr const char* kLineSettings[kLineSettingCount] = {
    "4800,n,8,1",  "4800,e,8,1",  "9600,n,8,1",  "9600,e,8,1",   "19200,n,8,1",  "19200,e,8,1",
    "38400,n,8,1", "38400,e,8,1", "57600,n,8,1", "57600,e,8,1", "115200,n,8,1", "115200,e,8,1"};
inline constexpr int kDefaultLineSettingNo = 5;
inline constexpr const char* kDefaultLineSetting = "19200,e,8,1";

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
