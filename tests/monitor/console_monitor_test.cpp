// The console monitor, fed the bytes a switch sends after an update.
#include "monitor/console_monitor.h"

#include <gtest/gtest.h>

#include <string>

#include "app/driver_state.h"
#include "link/scripted/scripted_console.h"

namespace {

// Feeds text byte by byte and returns what the console showed.
std::string Feed(const std::string& bytes) {
  for (char c : bytes) FeedConsoleByte(static_cast<uint8_t>(c));
  return ScriptedPrinted();
}

// The program at its start, nothing printed yet.
class ConsoleMonitor : public testing::Test {
 protected:
  void SetUp() override { StartOver(); }
  void TearDown() override { StartOver(); }
  void StartOver() {
    ResetProgram();
    ScriptedConsoleReset();
  }
};

}  // namespace

TEST_F(ConsoleMonitor, ReadyFrameSetsDeviceReadyUnlessALetterFollows) {
  // From "^=PA$" on: the letters' edges, and the characters just beside them.
  struct Case {
    const char* frame;
    int ready;
  } cases[] = {{"^=P$", 1},   {"^=P5$", 1}, {"^=P ok$", 1}, {"^=PX$", 0}, {"^=SZ$", 0},
               {"^=V 1$", 0}, {"=P$", 1},   {"^=PA$", 0},   {"^=PZ$", 0}, {"^=Pa$", 0},
               {"^=Pz$", 0},  {"^=P@$", 1}, {"^=P[$", 1},   {"^=P`$", 1}, {"^=P{$", 1}};
  for (const Case& c : cases) {
    StartOver();
    EXPECT_EQ(Feed(c.frame), "") << c.frame;
    EXPECT_EQ(deviceReady, c.ready) << c.frame;
  }
}

TEST_F(ConsoleMonitor, DspProgressStartsEachBankOnANewLine) {
  EXPECT_EQ(Feed("^!100 2 0$"), "\n\rUpdating DSPs: Bank = 2, Complete =  16%");
  EXPECT_EQ(Feed("^!100 2 3$"), "\rUpdating DSPs: Bank = 2, Complete =  66%");
  EXPECT_EQ(Feed("^!100 2 5$"), "\rUpdating DSPs: Bank = 2, Complete = 100%");
}

TEST_F(ConsoleMonitor, OtherMessageCodesAreShownAsTheyCame) {
  EXPECT_EQ(Feed("^!42 Fan fault$"), "!42 Fan fault$");
  EXPECT_EQ(Feed("^!A$"), "");  // "!" followed by a letter matches nothing
  EXPECT_EQ(Feed("^?unknown$"), "");
}

TEST_F(ConsoleMonitor, OnlyFramedTextReachesAHandler) {
  EXPECT_EQ(Feed("noise !42 x ^!4\x01\x1F"
                 "2 ok\x80$"),
            "!42 ok$");
  // Text outside a frame is dropped by the next "^"...
  EXPECT_EQ(Feed("!7 stray^=P$"), "");
  EXPECT_EQ(deviceReady, 1);
  // ...but a "$" without an opening "^" dispatches it like a framed line.
  EXPECT_EQ(Feed("!7 stray$"), "!7 stray$");
}

TEST_F(ConsoleMonitor, AnOverlongFrameIsCutTo254CharactersAndItsDollar) {
  std::string body = "!9" + std::string(298, 'x');
  std::string shown = Feed("^" + body + "$");
  EXPECT_EQ(shown, body.substr(0, 254) + "$");
  // The monitor is still in step after it.
  EXPECT_EQ(Feed("^!9 next$"), "!9 next$");
}

TEST_F(ConsoleMonitor, StepNumbersFromTheLineAreClampedSoNoneOverflowsOrGoesNegative) {
  std::string shown = Feed("^!100 1 99999999999$");
  EXPECT_NE(shown.find("Bank = 1"), std::string::npos);
  // A step below the first one is shown as nothing done yet, never as a negative share.
  EXPECT_EQ(Feed("^!100 1 -1$"), "\rUpdating DSPs: Bank = 1, Complete =   0%");
  EXPECT_EQ(Feed("^!100 1 -2$"), "\rUpdating DSPs: Bank = 1, Complete =   0%");
  EXPECT_EQ(Feed("^!100 1 -99999999999$"), "\rUpdating DSPs: Bank = 1, Complete =   0%");
}
