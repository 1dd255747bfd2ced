// SPDX-License-Identifier: MIT
#pragma once

namespace serial {
// The twelve line settings the module knows, in search order: 4800 to 115200
// baud, no parity or even parity, 8 data bits, 1 stop bit. The index is what
// the module's "H00E" command carries, and the order of cmbBaudRate's entries.

inline constexpr int kLineSettingCount = 12;
inline constexpr const char* kLineSettings[kLineSettingCount] = {
    "4800,n,8,1",  "4800,e,8,1",  "9600,n,8,1",  "9600,e,8,1",   "19200,n,8,1",  "19200,e,8,1",
    "38400,n,8,1", "38400,e,8,1", "57600,n,8,1", "57600,e,8,1", "115200,n,8,1", "115200,e,8,1"};
inline constexpr int kDefaultLineSettingNo = 5;
inline constexpr const char* kDefaultLineSetting = "19200,e,8,1";

}  // namespace serial
