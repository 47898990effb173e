// The console monitor's progress time on the virtual clock: every DSP progress line sets
// it to the moment the line ended, and nothing else moves it.
#include <gtest/gtest.h>

#include <string>

#include "link/scripted/scripted_line.h"
#include "monitor/console_monitor.h"

namespace {

void Feed(const std::string& bytes) {
  testing::internal::CaptureStdout();
  for (char c : bytes) FeedConsoleByte(static_cast<uint8_t>(c));
  testing::internal::GetCapturedStdout();
}

}  // namespace

TEST(ConsoleMonitorScripted, OnlyAProgressLineSetsTheProgressTimeToItsMoment) {
  ScriptedReset();
  ResetConsoleMonitor();
  ScriptedAdvance(1234);
  Feed("^!100 1 0$");
  EXPECT_EQ(lastProgressTime, 1234u);
  ScriptedAdvance(5000);
  // Other messages, the ready line and unknown frames leave it where it was, and so does
  // a progress line that has not ended yet.
  Feed("^!42 Fan fault$^=P$^=SZ$^V$^!100 1 1");
  EXPECT_EQ(lastProgressTime, 1234u);
  ScriptedAdvance(7);
  Feed("$");
  EXPECT_EQ(lastProgressTime, 6241u);
  ResetConsoleMonitor();
  ScriptedReset();
}
