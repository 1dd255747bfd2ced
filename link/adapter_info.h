// SPDX-License-Identifier: MIT
#pragma once
// What the system tells of the adapter behind a device path. One file per
// platform (adapter_info_posix.cpp, adapter_info_win32.cpp).

#include <optional>
#include <string>

namespace serial {

// A USB serial adapter's latency timer in milliseconds: how long the adapter
// holds received bytes before it hands them to the host when fewer than a
// packet came. 16 ms (a common default) adds up to 16 ms to every reply.
// nullopt where the system does not show it (not a USB serial adapter, a
// pseudo-terminal, Windows).
std::optional<int> UsbLatencyTimerMs(const std::string& devicePath);

// The latency timer at which a hint to lower it is given.
inline constexpr int kSlowLatencyTimerMs = 16;

}  // namespace serial
