// The utility's link opened on the simulated line of link/scripted, with its virtual
// clock at 0: for tests of the protocol layers that count writes and waits, or check a
// time-out to the millisecond. What the program prints is recorded (ScriptedPrinted).
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/driver_state.h"
#include "link/scripted/scripted_console.h"
#include "link/scripted/scripted_line.h"
#include "link/serial_port.h"

class OnAScriptedLine : public testing::Test {
 protected:
  // openLink false: the code under test opens the port itself (the port scan).
  explicit OnAScriptedLine(bool openLink = true) : openLink_(openLink) {}
  void SetUp() override { StartOver(); }
  void TearDown() override {
    ResetProgram();
    ScriptedReset();
    ScriptedConsoleReset();
  }
  // Starts over within a test, for its next case: the whole program back at its start,
  // the line empty, its clock at 0, nothing printed, the link open again.
  void Restart() { StartOver(); }

 private:
  void StartOver() {
    ResetProgram();
    ScriptedReset();
    ScriptedConsoleReset();
    if (openLink_) {
      ASSERT_EQ(OpenLink(3), 1);
    }
  }
  bool openLink_;
};

// For a test of a run that ends the program (a death test): what the program printed goes
// to standard error when it exits, where the test's pattern reads it.
inline void ShowPrintedOnExit() {
  std::atexit([] {
    std::string printed = ScriptedPrinted();
    std::fputs(printed.c_str(), stderr);
  });
}
