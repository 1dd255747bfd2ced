// The millisecond counter and the sleep on Windows: timeGetTime and Sleep.
//
// Windows ticks its timers every 15.6 ms by default, which would stretch the
// 1 ms pauses after each written byte and the 1 ms read wait of the port to
// a whole tick each. The program therefore asks for a 1 ms timer period for
// as long as it runs; the object that holds that request sits in this file
// because TickCount is linked into every program that uses the link.

#include <windows.h>
#include <mmsystem.h>

#include "deadline.h"

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

uint32_t TickCount() { return timeGetTime(); }

void SleepMs(unsigned ms) { Sleep(ms); }
