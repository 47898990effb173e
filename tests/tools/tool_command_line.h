// The tools' command lines (imagepack, the sweep, the benchmark, the virtual switch): a
// value that is not a number, or does not fit its option, is refused with a message that
// names the option and a non-zero exit, never taken as 0. Each tool's tests list their
// cases; this runs them, in a folder of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "testing/program_run.h"

class ToolCommandLine : public ::testing::Test {
 protected:
  ToolCommandLine() {
    char pattern[] = "/tmp/tqupd-options-XXXXXX";
    if (mkdtemp(pattern)) folder_ = pattern;
  }
  ~ToolCommandLine() override {
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }
  std::string folder_;
};

// A command line with a bad value, and the option that the refusal must name.
struct RefusedOption {
  std::vector<std::string> command;
  const char* option;
};

// Were a value taken, the program would go on to its work (a sweep, a benchmark, a
// switch that serves until stopped) and run into the time limit instead.
inline void ExpectRefused(const std::vector<RefusedOption>& cases) {
  for (const RefusedOption& c : cases) {
    RunResult r = RunWithClosedInput(c.command, 30000);
    std::string shown;
    for (const std::string& word : c.command) shown += word + " ";
    EXPECT_GT(r.status, 0) << shown << "\n" << r.output;
    EXPECT_NE(r.output.find(c.option), std::string::npos) << shown << "\n" << r.output;
  }
}
