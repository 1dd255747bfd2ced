// SPDX-License-Identifier: MIT
// The millisecond counter and the sleeps on Windows: timeGetTime and Sleep.
//
// Windows ticks its timers every 15.6 ms by default, which would stretch the
// 1 ms pauses after each written byte and the 1 ms read wait of the port to
// a whole tick each. The program therefore asks for a 1 ms timer period for
// as long as it runs; the object that holds that request sits in this file
// because TickCount is linked into every program that uses the link.
//
// Since Windows 10 2004 a process whose windows are all minimised or hidden
// may lose that period to power throttling; SetProcessInformation with
// ProcessPowerThrottling opts out. The function and its record are looked up
// at run time, so that the program still starts on a system that lacks them.

#include <windows.h>
#include <mmsystem.h>

#include "deadline.h"

namespace serial {

namespace {
constexpr UINT kTimerPeriodMs = 1;

class TimerPeriod {
 public:
  TimerPeriod() : granted_(timeBeginPeriod(kTimerPeriodMs) == TIMERR_NOERROR) {}
  ~TimerPeriod() {
    if (granted_) timeEndPeriod(kTimerPeriodMs);
  }
  TimerPeriod(const TimerPeriod&) = delete;
  TimerPeriod& operator=(const TimerPeriod&) = delete;

 private:
  bool granted_;
};

}  // namespace

// The request for a 1 ms period, held from the first use (made before main
// below) until the program ends.
void UseExactTimers() { static const TimerPeriod timerPeriod; }

namespace {
[[maybe_unused]] const bool kExactFromStart = (UseExactTimers(), true);
}  // namespace

namespace {
// The record and constants of SetProcessInformation's power throttling, as
// the system defines them; older SDK headers lack them.
constexpr int kProcessPowerThrottling = 4;  // PROCESS_INFORMATION_CLASS value
constexpr ULONG kThrottlingVersion = 1;
constexpr ULONG kIgnoreTimerResolution = 0x4;  // PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION

struct PowerThrottlingState {
  ULONG Version;
  ULONG ControlMask;
  ULONG StateMask;
};

using SetProcessInformationFunction = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);
}  // namespace

void OptOutOfTimerThrottling() {
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (!kernel) return;
  auto setInformation =
      reinterpret_cast<SetProcessInformationFunction>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessInformation")));
  if (!setInformation) return;
  // The bit in ControlMask takes the decision over from the system; 0 in
  // StateMask says "do not throttle".
  PowerThrottlingState state{kThrottlingVersion, kIgnoreTimerResolution, 0};
  setInformation(GetCurrentProcess(), kProcessPowerThrottling, &state, sizeof state);
}

uint32_t TickCount() { return timeGetTime(); }

void SleepMs(unsigned ms) { Sleep(ms); }

// Sleep takes whole milliseconds: the time left is rounded up, and the loop
// covers a wake-up that came before end.
void SleepUntil(std::chrono::steady_clock::time_point end) {
  using std::chrono::steady_clock;
  for (auto left = end - steady_clock::now(); left > steady_clock::duration::zero();
       left = end - steady_clock::now()) {
    Sleep(static_cast<DWORD>(std::chrono::ceil<std::chrono::milliseconds>(left).count()));
  }
}

}  // namespace serial
