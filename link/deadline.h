#pragma once
// Time on a monotonic clock: the millisecond counter of the reply window, a
// deadline for poll()-based waits, and the plain millisecond sleep.

#include <chrono>
#include <cstdint>

// Milliseconds since an arbitrary start, wrapping at 2^32 like the platform's
// millisecond counter. Differences must be taken modulo 2^32 (unsigned
// subtraction), which keeps them right across the wrap.
uint32_t TickCount();

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

// Sleeps the calling thread for ms milliseconds (the platform's Sleep).
void SleepMs(unsigned ms);
