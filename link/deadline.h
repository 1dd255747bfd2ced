// SPDX-License-Identifier: MIT
#pragma once
// Time on a monotonic clock: the millisecond counter of the reply window, the
// millisecond sleep of the link's pauses, and a deadline for poll()-based
// waits.
//
// The platform part is one file per platform (tick_posix.cpp, ...), picked by
// the build. It supplies exactly these four functions:
// - TickCount: the millisecond counter.
// - SleepMs: a pause that is never shorter than asked and never spins. It
//   sleeps to an absolute deadline on the monotonic clock, so an interrupted
//   sleep resumes towards the same end instead of starting over.
// - UseExactTimers: asks the platform to end sleeps and timed waits as close
//   after their deadline as it can (on Linux the thread's timer slack, by
//   default 50 us added to every sleep, goes to its minimum). The platform
//   file does this once before main, so that every thread started later
//   inherits it, and SleepMs does it once for any thread that sleeps.
// - OptOutOfTimerThrottling: see below.
// Everything else here is portable.

#include <chrono>
#include <cstdint>

namespace serial {

// Milliseconds since an arbitrary start, wrapping at 2^32 like the platform's
// millisecond counter. Differences must be taken modulo 2^32 (unsigned
// subtraction), which keeps them right across the wrap.
uint32_t TickCount();

// Sleeps the calling thread for at least ms milliseconds (the platform's
// Sleep). SleepMs(0) returns at once.
void SleepMs(unsigned ms);

// Sleeps the calling thread until the monotonic clock (steady_clock) has
// reached end; returns at once when it already has. Never ends early and
// never spins. A series of pauses aimed at points measured from one start
// (start + 2 ms, start + 4 ms, ...) lasts as long as the series asks: each
// sleep's wake-up delay is taken out of the next one instead of adding up.
void SleepUntil(std::chrono::steady_clock::time_point end);

// Exact timers for the calling thread and the threads it starts afterwards.
// Harmless to call again.
void UseExactTimers();

// Keeps the raised timer resolution while the program's windows are
// minimised or hidden. Some systems let an invisible program's timers fall
// back to the coarse default tick (about 15.6 ms) to save power, which would
// stretch every 1 ms pause of the link. For a program with a window, called
// once at start; does nothing where the platform has no such throttling or
// does not offer the opt-out.
void OptOutOfTimerThrottling();

// A point in time some milliseconds ahead, for waits that must end.
class Deadline {
 public:
  explicit Deadline(std::chrono::milliseconds budget);
  bool Expired() const;
  // Milliseconds left, rounded up, never negative: a poll() timeout.
  int RemainingMs() const;

 private:
  std::chrono::steady_clock::time_point end_;
};

}  // namespace serial
