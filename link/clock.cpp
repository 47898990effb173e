#include "link/clock.h"

int ElapsedMs(uint32_t start, uint32_t limit) {
  return static_cast<uint32_t>(ClockMs() - start) > limit ? 1 : 0;
}

void DelayMs(int32_t ms) {
  // Waits are short (10, 20 and 100 ms) and must not give up the time slice to the
  // scheduler's granularity; spinning keeps them exact.
  uint32_t start = ClockMs();
  uint32_t limit = ms < 0 ? 0u : static_cast<uint32_t>(ms);
  while (!ElapsedMs(start, limit)) {
  }
}
