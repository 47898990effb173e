#include <time.h>

#include "link/clock.h"

uint32_t ClockMs() {
  // CLOCK_MONOTONIC: wall time that no clock adjustment moves. clock() would count CPU
  // time, which hardly moves while the program sleeps or waits for the switch.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint32_t>(static_cast<uint64_t>(now.tv_sec) * 1000u +
                               static_cast<uint64_t>(now.tv_nsec) / 1000000u);
}

void SleepMs(uint32_t ms) {
  timespec delay{static_cast<time_t>(ms / 1000u), static_cast<long>(ms % 1000u) * 1000000L};
  while (nanosleep(&delay, &delay) != 0) {
  }
}
