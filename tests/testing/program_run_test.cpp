// The console session starts a program once more when, and only when, its console came
// up detached: the program has written to it, but the terminal stays in line mode. The
// programs here are small shell scripts that play tqupd's part: they take the terminal
// out of line mode (or not) before they write, on their first and on a second start.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "testing/program_run.h"

namespace {

// The first start shows "first", a second one "second" (a mark file tells them apart).
// RAW_FIRST and RAW_SECOND say which starts take the terminal out of line mode; with
// QUIT_FIRST the first start ends at once without showing anything.
const char kScript[] =
    "if [ -e \"$MARK\" ]; then n=second raw=$RAW_SECOND; else : >\"$MARK\"; n=first "
    "raw=$RAW_FIRST; [ \"$QUIT_FIRST\" = 1 ] && exit 3; fi; "
    "[ \"$raw\" = 1 ] && stty -icanon -echo; echo $n; exec sleep 60";

struct StartCase {
  const char* name;
  bool rawFirst;
  bool rawSecond;
  bool quitFirst;
  bool keysReach;  // what WaitUntilKeysReachIt says
  int starts;      // how many times the program was started
  const char* shown;
};

void PrintTo(const StartCase& c, std::ostream* out) { *out << c.name; }

const StartCase kCases[] = {
    {"TakesTheConsole", true, false, false, true, 1, "first\n"},
    {"DetachedOnce", false, true, false, true, 2, "second\n"},
    {"DetachedTwice", false, false, false, false, 2, "second\n"},
    // A program that ends is not started again: its session has nothing to type into.
    {"EndsWithoutTakingIt", false, true, true, true, 1, ""},
};

class ConsoleStart : public testing::TestWithParam<StartCase> {
 protected:
  ConsoleStart() {
    char pattern[] = "/tmp/tqupd-console-XXXXXX";
    if (mkdtemp(pattern)) folder_ = pattern;
  }
  ~ConsoleStart() override {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  std::string folder_;
};

}  // namespace

TEST_P(ConsoleStart, StartsAgainOnlyWhenTheConsoleCameUpDetached) {
  const StartCase& c = GetParam();
  ASSERT_FALSE(folder_.empty());
  ConsoleSession session(
      {"/bin/sh", "-c", kScript},
      {"MARK=" + folder_ + "/started", std::string("RAW_FIRST=") + (c.rawFirst ? "1" : "0"),
       std::string("RAW_SECOND=") + (c.rawSecond ? "1" : "0"),
       std::string("QUIT_FIRST=") + (c.quitFirst ? "1" : "0")});
  // A short bound: these programs either take the terminal before they write or never.
  EXPECT_EQ(session.WaitUntilKeysReachIt(300), c.keysReach);
  EXPECT_EQ(session.Starts(), c.starts);
  EXPECT_EQ(session.ConsoleDetached(), !c.keysReach);
  if (c.quitFirst) {
    EXPECT_EQ(session.WaitExit(10000), 3);
  } else {
    if (c.keysReach) {
      EXPECT_FALSE(session.InLineMode());
    }
    // The session goes on with the last start's output only.
    EXPECT_TRUE(session.WaitFor(c.shown, 10000)) << session.Output();
  }
  EXPECT_EQ(session.Output(), c.shown);
}

INSTANTIATE_TEST_SUITE_P(Cases, ConsoleStart, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<StartCase>& info) {
                           return std::string(info.param.name);
                         });
