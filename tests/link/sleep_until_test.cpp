// SPDX-License-Identifier: MIT
// Sleeps aimed at absolute points, as the polling pause makes them: twenty
// 2 ms slices measured from one start. No slice ends before its point, so
// the series lasts at least its whole length.

#include <gtest/gtest.h>

#include <chrono>

#include "deadline.h"

namespace {

TEST(SleepUntil, SlicesFromOneStartEndNoEarlierThanTheirPoints) {
  using Clock = std::chrono::steady_clock;
  constexpr int kSlices = 20;
  constexpr std::chrono::milliseconds kSlice{2};
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kSlices; ++i) {
    const Clock::time_point end = start + kSlice * (i + 1);
    serial::SleepUntil(end);
    EXPECT_GE(Clock::now(), end) << "slice " << i;
  }
  EXPECT_GE(Clock::now() - start, kSlice * kSlices);
}

TEST(SleepUntil, PointInThePastDoesNotMoveTheNextOne) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point start = Clock::now();
  serial::SleepUntil(start - std::chrono::milliseconds(5));
  const Clock::time_point end = start + std::chrono::milliseconds(3);
  serial::SleepUntil(end);
  EXPECT_GE(Clock::now(), end);
}

}  // namespace
