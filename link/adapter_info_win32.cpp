// SPDX-License-Identifier: MIT
#include "adapter_info.h"

namespace serial {

// The timer lives in the adapter driver's own settings, which no portable
// call reads.
std::optional<int> UsbLatencyTimerMs(const std::string&) { return std::nullopt; }

}  // namespace serial
