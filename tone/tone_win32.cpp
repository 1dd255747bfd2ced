// SPDX-License-Identifier: MIT
// The tone on Windows: Beep(frequency, duration), which plays the tone on
// the sound device and returns when it has ended.
//
// Where Beep has no device to play on it fails (the caller then waits the
// duration itself) or returns early without a sound; the rest of the
// duration is then waited out here, so that an operation keeps its timing on
// every machine.

#include <windows.h>

#include <chrono>

#include "tone_platform.h"

namespace tone {

namespace {
using Clock = std::chrono::steady_clock;

// Sleeps until end. Sleep takes whole milliseconds; the rest is rounded up
// so that every round sleeps and the wait never ends early.
void SleepUntil(Clock::time_point end) {
  for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(end - now).count();
    Sleep(static_cast<DWORD>(left));
  }
}
}  // namespace

// The system's Beep, named by its own type so that no overload of the
// program's own (tone::Beep, tone.h) can be taken for it.
const auto SystemBeep = static_cast<BOOL(WINAPI*)(DWORD, DWORD)>(&::Beep);

bool PlayTone(unsigned frequencyHz, unsigned durationMs) {
  const Clock::time_point end = Clock::now() + std::chrono::milliseconds(durationMs);
  if (!SystemBeep(frequencyHz, durationMs)) return false;
  SleepUntil(end);
  return true;
}

}  // namespace tone
