// The utility's link opened on the simulated line of link/scripted, with its virtual
// clock at 0: for tests of the protocol layers that count writes and waits, or check a
// time-out to the millisecond.
#pragma once

#include <gtest/gtest.h>

#include "link/scripted/scripted_line.h"
#include "link/serial_port.h"

class OnAScriptedLine : public testing::Test {
 protected:
  void SetUp() override {
    ScriptedReset();
    ASSERT_EQ(OpenLink(3), 1);
  }
  void TearDown() override {
    CloseLink();
    ScriptedReset();
  }
  // Starts the line over within a test, for its next case: the link closed, the line
  // empty, its clock at 0, the link open again.
  void Restart() {
    CloseLink();
    OnAScriptedLine::SetUp();
  }
};
