#include <gtest/gtest.h>

#include <string>

#include "flags/command_line.h"
#include "flags/flag.h"

TEST(FlagCommandLine, ReadsTheArgumentsThatMainPassedIn) {
  t_FlagULongR v("V", 0, 1000, 0, 100, FlagState::Minus);
  t_FlagString n("N", nullptr, 0, 16, nullptr, FlagState::Minus);
  t_Flag* table[] = {&v, &n, nullptr};
  FlagContext context;
  context.table = table;
  const char* argv[] = {"/usr/local/bin/tq upd", "/V12", "/N\"x y"};
  SetProcessArguments(3, argv);
  EXPECT_EQ(ParseCommandLine(context), FlagError::None);
  EXPECT_EQ(v.low, 12u);
  EXPECT_STREQ(n.value, "\"x y");
  SetProcessArguments(0, nullptr);
  EXPECT_STREQ(ProcessCommandLine(), "");
}
