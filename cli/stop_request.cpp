// SPDX-License-Identifier: MIT
// The portable half of the stop request: the deadline and the program's own
// request.
#include "stop_request.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace {
using Clock = std::chrono::steady_clock;
// The deadline as a count of the clock's ticks, or kNoDeadline; one atomic,
// so that a thread never reads it half written.
constexpr Clock::rep kNoDeadline = Clock::duration::max().count();
std::atomic<Clock::rep> deadlineTicks{kNoDeadline};
std::atomic<bool> requested{false};
// The request the signals set; a handler may read it (lock-free).
std::atomic<serial::StopRequest*> forwardedStop{nullptr};
static_assert(std::atomic<serial::StopRequest*>::is_always_lock_free);

bool DeadlineSet() { return deadlineTicks.load() != kNoDeadline; }

Clock::time_point StopDeadlineAt() { return Clock::time_point(Clock::duration(deadlineTicks.load())); }

int MsToDeadline() {
  auto left = std::chrono::ceil<std::chrono::milliseconds>(StopDeadlineAt() - Clock::now()).count();
  return static_cast<int>(std::clamp<long long>(left, 0, 0x7fffffff));
}
}  // namespace

void SetStopDeadline(double seconds) {
  const auto at = Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
  deadlineTicks = at.time_since_epoch().count();
}

void ForwardStopSignals(serial::StopRequest* request) {
  forwardedStop = request;
  if (request != nullptr && StopSignalled()) request->Request();
}

void SetForwardedStop() {
  if (serial::StopRequest* request = forwardedStop.load()) request->Request();
}

void RequestStop() {
  // The first request wakes every waiter; later ones find them awake.
  if (!requested.exchange(true)) WakeStopWaiters();
}

bool StopRequested() { return requested || StopSignalled() || (DeadlineSet() && Clock::now() >= StopDeadlineAt()); }

bool WaitForStop(int ms) {
  if (StopRequested()) return true;
  if (DeadlineSet()) ms = std::min(ms, MsToDeadline());
  WaitForStopSignal(ms);
  return StopRequested();
}
