// SPDX-License-Identifier: MIT
// The portable half of the stop request: the deadline and the program's own
// request.
#include "stop_request.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>

namespace {
using Clock = std::chrono::steady_clock;
std::optional<Clock::time_point> deadline;
std::atomic<bool> requested{false};

int MsToDeadline() {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 0x7fffffff));
}
}  // namespace

void SetStopDeadline(double seconds) {
  deadline = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

void RequestStop() { requested = true; }

bool StopRequested() { return requested || StopSignalled() || (deadline && Clock::now() >= *deadline); }

bool WaitForStop(int ms) {
  if (StopRequested()) return true;
  if (deadline) ms = std::min(ms, MsToDeadline());
  WaitForStopSignal(ms);
  return StopRequested();
}
