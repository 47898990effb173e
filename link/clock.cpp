#include "link/clock.h"

int ElapsedMs(uint32_t start, uint32_t limit) {
  return static_cast<uint32_t>(ClockMs() - start) > limit ? 1 : 0;
}

void DelayMs(int32_t ms) {
  // Sleeps rather than spins, and never returns early: a sleep may end a little before
  // its time on a coarse clock, so the rest is slept again.
  uint32_t start = ClockMs();
  uint32_t limit = ms < 0 ? 0u : static_cast<uint32_t>(ms);
  while (!ElapsedMs(start, limit)) {
    uint32_t spent = ClockMs() - start;
    SleepMs(spent <= limit ? limit + 1 - spent : 1);
  }
}
