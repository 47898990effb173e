// The console monitor in the scripted test program: its progress time on the virtual
// clock (every DSP progress line sets it to the moment the line ended, and nothing else
// moves it), how a progress line's numbers are read, and what the dispatcher reports.
#include <string>

#include "link/scripted_fixture.h"
#include "monitor/console_monitor.h"

namespace {

using ConsoleMonitorScripted = OnAScriptedLine;

// Feeds text byte by byte and returns what the console showed.
std::string Feed(const std::string& bytes) {
  for (char c : bytes) FeedConsoleByte(static_cast<uint8_t>(c));
  return ScriptedPrinted();
}

}  // namespace

TEST_F(ConsoleMonitorScripted, OnlyAProgressLineSetsTheProgressTimeToItsMoment) {
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
}

TEST_F(ConsoleMonitorScripted, AProgressLinesNumbersAreDecimalAndEndAtTheFirstOtherCharacter) {
  EXPECT_EQ(Feed("^!100 1 5a$"), "\rUpdating DSPs: Bank = 1, Complete = 100%");
  EXPECT_EQ(Feed("^!100 2x0$"), "\n\rUpdating DSPs: Bank = 2, Complete =  16%");
  // Any one character separates them, the first one too.
  EXPECT_EQ(Feed("^!100,3,5$"), "\rUpdating DSPs: Bank = 3, Complete = 100%");
  // A switch with many DSP banks counts them on in decimal.
  EXPECT_EQ(Feed("^!100 12 3$"), "\rUpdating DSPs: Bank = 12, Complete =  66%");
}

TEST_F(ConsoleMonitorScripted, TheDispatcherSaysWhetherAHandlerTookTheLine) {
  // Known keywords without a handler ("=SZ", "=V") are taken by nobody, as are unknown
  // frames and a keyword that runs on into a longer word. Only a letter runs on: the
  // letters at each end of both cases do, the characters beside them do not.
  struct Case {
    const char* line;
    int result;
  } cases[] = {{"!42 Fan fault$", 0}, {"=P$", 0},  {"=P5$", 0}, {"=SZ$", 1}, {"=V 1$", 1},
               {"=PX$", 1},           {"?x$", 1},  {"=PA$", 1}, {"=PZ$", 1}, {"=Pa$", 1},
               {"=Pz$", 1},           {"=P@$", 0}, {"=P[$", 0}, {"=P`$", 0}, {"=P{$", 0}};
  for (const Case& c : cases) {
    ASSERT_NO_FATAL_FAILURE(Restart());
    EXPECT_EQ(DispatchConsoleLine(c.line), c.result) << c.line;
  }
}
