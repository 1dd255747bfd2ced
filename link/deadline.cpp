// SPDX-License-Identifier: MIT
#include "deadline.h"

namespace serial {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

Deadline::Deadline(std::chrono::milliseconds budget) : end_(Clock::now() + budget) {}

bool Deadline::Expired() const { return Clock::now() >= end_; }

int Deadline::RemainingMs() const {
  auto left = end_ - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return ms > 0x7fffffff ? 0x7fffffff : static_cast<int>(ms);
}

}  // namespace serial
