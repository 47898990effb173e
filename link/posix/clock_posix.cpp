#include <chrono>
#include <thread>

#include "link/clock.h"

uint32_t ClockMs() {
  // The monotonic clock: wall time that no clock adjustment moves. clock() would count
  // CPU time, which hardly moves while the program sleeps or waits for the switch. The
  // count wraps, as the callers' unsigned arithmetic expects.
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

// Sleeps the whole time: the standard library sleeps again after a signal.
void SleepMs(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
