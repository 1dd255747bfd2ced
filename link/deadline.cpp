#include "deadline.h"

#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
const Clock::time_point kStart = Clock::now();
}  // namespace

uint32_t TickCount() {
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - kStart).count();
  return static_cast<uint32_t>(static_cast<uint64_t>(ms));
}

Deadline::Deadline(std::chrono::milliseconds budget) : end_(Clock::now() + budget) {}

bool Deadline::Expired() const { return Clock::now() >= end_; }

int Deadline::RemainingMs() const {
  auto left = end_ - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

void SleepMs(unsigned ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
