// SPDX-License-Identifier: MIT
#pragma once
// The control bytes that open and close frames on the line: a command frame
// starts with TAB and ends with CR, a reply frame starts with LF and ends
// with CR.
#include <cstdint>

namespace serial {

inline constexpr uint8_t kFrameTab = 0x09;
inline constexpr uint8_t kFrameLf = 0x0A;
inline constexpr uint8_t kFrameCr = 0x0D;

}  // namespace serial
