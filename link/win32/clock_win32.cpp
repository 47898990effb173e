#include <windows.h>

#include <ctime>

#include "calls_win32.h"
#include "link/clock.h"

uint32_t ClockMs() {
  // The Windows C runtime's clock() counts wall time since the process started, in
  // milliseconds (CLOCKS_PER_SEC is 1000).
  return static_cast<uint32_t>(win32Calls.clock());
}

void SleepMs(uint32_t ms) { win32Calls.Sleep(ms); }
