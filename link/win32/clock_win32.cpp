#include <windows.h>

#include <ctime>

#include "link/clock.h"

uint32_t ClockMs() {
  // The Windows C runtime's clock() counts wall time since the process started, in
  // milliseconds (CLOCKS_PER_SEC is 1000).
  return static_cast<uint32_t>(clock());
}

void SleepMs(uint32_t ms) { Sleep(ms); }
