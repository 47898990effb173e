// The portable arithmetic of the clock (link/clock.cpp) on the virtual clock.
#include <gtest/gtest.h>

#include "link/clock.h"
#include "link/scripted/scripted_line.h"

TEST(ClockScripted, DelayWaitsUntilMoreThanItsTimeHasPassed) {
  // "More than ms": a delay of 10 returns 11 ms later, never at 10, which on a real
  // clock could be 9.1 ms after the call. A negative delay is a delay of 0.
  struct Case {
    int32_t ms;
    uint32_t takesMs;
  } cases[] = {{-5, 1}, {0, 1}, {1, 2}, {10, 11}, {20, 21}, {100, 101}};
  for (const Case& c : cases) {
    ScriptedReset();
    DelayMs(c.ms);
    EXPECT_EQ(ScriptedNow(), c.takesMs) << c.ms;
  }
}

TEST(ClockScripted, LimitsHoldWhereTheMillisecondCountWraps) {
  // The count wraps after about 49.7 days of uptime; a wait that spans the wrap still
  // ends at its limit, neither at once nor never.
  ScriptedReset();
  ScriptedAdvance(0xFFFFFF00u);
  uint32_t start = ClockMs();
  DelayMs(500);
  EXPECT_EQ(ClockMs() - start, 501u);
  EXPECT_LT(ClockMs(), start);  // it did wrap
  EXPECT_EQ(ElapsedMs(start, 500), 1);
  EXPECT_EQ(ElapsedMs(start, 501), 0);
  ScriptedReset();
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
TEST(ClockScripted, AWaitThatNeverSleepsStopsTheTestInsteadOfSpinning) {
  // On the virtual clock such a loop would never see its limit pass.
  ScriptedReset();
  EXPECT_DEATH(
      {
        uint32_t start = ClockMs();
        while (!ElapsedMs(start, 5)) {
        }
      },
      "a wait that never sleeps");
}

TEST(ClockScripted, AWaitWithoutEndStopsTheTestAfterAnHourOfVirtualTime) {
  ScriptedReset();
  EXPECT_DEATH(
      {
        for (;;) SleepMs(1000);
      },
      "a wait without end");
}
#endif
