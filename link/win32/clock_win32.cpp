// The clock on Windows: the performance counter, and sleeps on a 1 ms system timer.
//
// msvcrt's clock() would count the system time since start-up: it moves in steps of
// some 15.6 ms and jumps when the system time is set, so a jump forward would end every
// pending time-out at once. The performance counter is monotonic, precise to well under
// a millisecond, and no change of the system time moves it.
#include <windows.h>

#include <cstdlib>

#include "calls_win32.h"
#include "link/clock.h"

namespace {

bool timerPeriodSet = false;

void EndTimerPeriod() { win32Calls.timeEndPeriod(1); }

}  // namespace

uint32_t ClockMs() {
  LARGE_INTEGER count;
  LARGE_INTEGER frequency;
  win32Calls.QueryPerformanceCounter(&count);
  win32Calls.QueryPerformanceFrequency(&frequency);
  uint64_t ticks = static_cast<uint64_t>(count.QuadPart);
  uint64_t perSecond = static_cast<uint64_t>(frequency.QuadPart);
  if (perSecond == 0) return 0;
  // In two parts, so that a counter of a machine that has run for years cannot overflow.
  return static_cast<uint32_t>((ticks / perSecond) * 1000u +
                               (ticks % perSecond) * 1000u / perSecond);
}

void SleepMs(uint32_t ms) {
  // The system timer ticks every 15.6 ms unless a program asks for more: a 1 ms pause
  // would last up to 16. It is asked for at the first pause, and given back at exit
  // (Windows also gives it back when a program ends without exit).
  if (!timerPeriodSet) {
    timerPeriodSet = true;
    if (win32Calls.timeBeginPeriod(1) == TIMERR_NOERROR) atexit(EndTimerPeriod);
  }
  win32Calls.Sleep(ms);
}
