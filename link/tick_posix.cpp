// SPDX-License-Identifier: MIT
// The millisecond counter and the pauses on POSIX: CLOCK_MONOTONIC, sleeps to
// absolute deadlines with clock_nanosleep, and the finest timer slack.
//
// Linux lets every sleep and timed wait of a thread end up to its timer slack
// late (50 us by default) so that wake-ups can be batched. Over the five
// pauses of a frame and the twenty slices of a polling pause that adds up to
// a measurable share of the exchange, so the slack goes to its minimum. The
// kernel still never wakes a sleep early.

#include <sys/prctl.h>
#include <time.h>

#include <cerrno>

#include "deadline.h"

namespace serial {

namespace {
constexpr long kNsPerMs = 1000000;
constexpr long kNsPerSecond = 1000000000;
// PR_SET_TIMERSLACK takes nanoseconds; 0 would mean "back to the default".
constexpr unsigned long kFinestSlackNs = 1;

timespec MonotonicNow() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now;
}

timespec NsAfter(timespec start, int64_t ns) {
  start.tv_sec += static_cast<time_t>(ns / kNsPerSecond);
  start.tv_nsec += static_cast<long>(ns % kNsPerSecond);
  if (start.tv_nsec >= kNsPerSecond) {
    start.tv_sec += 1;
    start.tv_nsec -= kNsPerSecond;
  }
  return start;
}

// A thread that existed before main did not inherit the finest slack.
void ExactTimersForThisThread() {
  static thread_local const bool exact = (UseExactTimers(), true);
  (void)exact;
}

// Sleeps to an absolute point on CLOCK_MONOTONIC: a signal that interrupts
// the sleep does not move its end.
void SleepToMonotonic(const timespec& deadline) {
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

// Before main, on the main thread: threads started later inherit the slack.
[[maybe_unused]] const bool kExactFromStart = (UseExactTimers(), true);
}  // namespace

uint32_t TickCount() {
  timespec now = MonotonicNow();
  uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec / kNsPerMs);
  return static_cast<uint32_t>(ms);
}

void SleepMs(unsigned ms) {
  ExactTimersForThisThread();
  SleepToMonotonic(NsAfter(MonotonicNow(), static_cast<int64_t>(ms) * kNsPerMs));
}

void SleepUntil(std::chrono::steady_clock::time_point end) {
  ExactTimersForThisThread();
  // steady_clock need not share CLOCK_MONOTONIC's origin, so the time left
  // is carried over to it; the loop makes sure steady_clock has reached end.
  using std::chrono::steady_clock;
  for (auto left = end - steady_clock::now(); left > steady_clock::duration::zero();
       left = end - steady_clock::now()) {
    const int64_t ns = std::chrono::ceil<std::chrono::nanoseconds>(left).count();
    SleepToMonotonic(NsAfter(MonotonicNow(), ns));
  }
}

void UseExactTimers() { prctl(PR_SET_TIMERSLACK, kFinestSlackNs, 0, 0, 0); }

// Linux does not coarsen a hidden program's timers.
void OptOutOfTimerThrottling() {}

}  // namespace serial
