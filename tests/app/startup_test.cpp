// Start-up and exit of the real program, native and (under Wine) the Windows build.
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <string_view>

#include "testing/program_run.h"

namespace {

// The pieces of an expected text, joined. Appended rather than joined with operator+, on
// which GCC 12 at -O2 and above reports a false out-of-bounds copy inside the temporary
// std::string (-Warray-bounds).
std::string Joined(std::initializer_list<std::string_view> pieces) {
  std::string text;
  for (std::string_view piece : pieces) text.append(piece);
  return text;
}

const char kBanner[] = "\nHalvek / Tessary firmware update utility. Version 1.02"
                       "\n(c) Halvek Audio Systems. All rights reserved.\n";
const char kExit[] = "\nPress any key to exit...\n";

class StartUp : public testing::TestWithParam<Build> {
 protected:
  RunResult Run(const std::vector<std::string>& args) {
    std::vector<std::string> command = TqupdCommand(GetParam(), args);
    if (command.empty()) return {};
    return RunWithClosedInput(command, 60000);
  }
  void SetUp() override {
    if (TqupdCommand(GetParam(), {}).empty()) GTEST_SKIP() << "Windows build not given";
  }
};

TEST_P(StartUp, TwoArgumentsPrintTheUsageEvenWhenTheFirstIsAPort) {
  RunResult r = Run({"3", "b"});
  EXPECT_EQ(
      r.output,
      Joined({kBanner,
              "\nUse: TQUPD [x]\n"
              "\nWhere:"
              "\n   x    = Optional, If not 0, then this is a comport number between 1 and 99,"
              "\n          otherwise searches COM1 - COM16.",
              kExit}));
  EXPECT_EQ(r.status, 1);
}

TEST_P(StartUp, PortNumbersOutsideOneToNinetyNineAreRefused) {
  struct Case {
    const char* argument;
    const char* shown;
  } cases[] = {{"100", "100"}, {"-1", "4294967295"}, {"4294967296", "4294967295"}};
  for (const Case& c : cases) {
    RunResult r = Run({c.argument});
    EXPECT_EQ(r.output, Joined({kBanner, "Firmware validated.\n\nCOM", c.shown,
                                " is an invalid COM port number.\n"
                                "Choose a COM port number between 1 and 99\n",
                                kExit}))
        << c.argument;
    EXPECT_EQ(r.status, 1);
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, StartUp, testing::Values(Build::kNative, Build::kWindows),
                         [](const testing::TestParamInfo<Build>& info) {
                           return info.param == Build::kNative ? "Native" : "Windows";
                         });

}  // namespace
