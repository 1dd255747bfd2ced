// The millisecond counter and the sleep on the C++ steady clock.

#include <thread>

#include "deadline.h"

namespace {
using Clock = std::chrono::steady_clock;
const Clock::time_point kStart = Clock::now();
}  // namespace

uint32_t TickCount() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - kStart).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
