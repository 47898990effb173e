// Millisecond clock, delay and sleep.
//
// Clock values are unsigned 32-bit millisecond counts; every time-out test subtracts in
// unsigned 32-bit arithmetic, so it stays correct when the count wraps.
#pragma once

#include <cstdint>

// A millisecond wall clock (not CPU time: the waits must pass while the program polls).
uint32_t ClockMs();
// 1 when more than limit ms have passed since start: (now - start) > limit.
int ElapsedMs(uint32_t start, uint32_t limit);
// Waits, asleep, until more than ms have passed; never returns early.
void DelayMs(int32_t ms);
// Gives the processor away for about ms milliseconds.
void SleepMs(uint32_t ms);
