// SPDX-License-Identifier: MIT
// The small platform services on Windows: the millisecond counter, the
// sleep, the tone and the display check.

#include <chrono>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "deadline.h"
#include "desktop.h"
#include "tone.h"

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The counter runs in milliseconds: over a sleep it moves by about as many
// as went by, and never backwards.
TEST(Tick, CountsMillisecondsOfASleep) {
  constexpr unsigned kSleepMs = 200;
  const Clock::time_point start = Clock::now();
  const uint32_t before = serial::TickCount();
  serial::SleepMs(kSleepMs);
  const uint32_t ticks = serial::TickCount() - before;
  const double elapsedMs = MsSince(start);
  EXPECT_GE(elapsedMs, kSleepMs);
  EXPECT_GE(ticks, kSleepMs - 2);
  // Seconds or microseconds would be far off either way.
  EXPECT_GE(elapsedMs + 2, ticks);
}

// Also after the window program's opt-out of timer throttling, which a
// system without it (wine among them) must take as a no-op.
TEST(Tick, ShortSleepsLastTheirMillisecond) {
  constexpr int kSleeps = 20;
  serial::OptOutOfTimerThrottling();
  serial::OptOutOfTimerThrottling();
  const Clock::time_point start = Clock::now();
  for (int i = 0; i < kSleeps; ++i) serial::SleepMs(1);
  EXPECT_GE(MsSince(start), kSleeps * 0.9);
}

// Beep is synchronous: it returns when the tone has ended, also where
// there is no sound device to play it on.
TEST(Tone, BeepLastsItsDuration) {
  tone::SetToneRecorder({});
  const Clock::time_point start = Clock::now();
  tone::Beep(1000, 300);
  EXPECT_GE(MsSince(start), 300);
  tone::Beep(300, 50);
  EXPECT_GE(MsSince(start), 350);
}

TEST(Desktop, ConsoleProgramHasOne) {
  std::string why = "untouched";
  EXPECT_TRUE(DesktopAvailable(why));
  EXPECT_EQ(why, "untouched");
}

}  // namespace
