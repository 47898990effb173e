#include "link/clock.h"

#include <algorithm>

int ElapsedMs(uint32_t start, uint32_t limit) {
  return static_cast<uint32_t>(ClockMs() - start) > limit ? 1 : 0;
}

void DelayMs(int32_t ms) {
  // Sleeps rather than spins, and never returns early: a sleep may end a little before
  // its time on a coarse clock, so the rest is slept again.
  uint32_t start = ClockMs();
  const auto limit = static_cast<uint32_t>(std::max(ms, int32_t{0}));
  while (!ElapsedMs(start, limit)) {
    // To the first millisecond past the limit; a clock that has just passed it gets one
    // more millisecond, never a wrapped-round sleep.
    SleepMs(limit + 1 - std::min(ClockMs() - start, limit));
  }
}
