// The portable half of SerialPort on the virtual clock: what of the port's time bounds is
// its own. A closed port has no OS half to wait in, so WaitForInput sleeps the time it was
// given, exactly, and every other operation returns at once; an open port hands the limit
// to its OS half unchanged. The 1000 ms bound of a Read or a Write that the line does not
// serve is the OS halves' own (PortOsRead, PortOsWrite): it stays with them, to be tested
// where they run, on a real pseudo-terminal and under Wine.
#include <gtest/gtest.h>

#include "link/scripted/scripted_line.h"
#include "link/scripted_fixture.h"
#include "link/serial_port.h"

TEST(SerialPortScripted, OnAClosedPortWaitForInputSleepsItsTimeAndNothingElseWaits) {
  ScriptedReset();
  SerialPort port;
  for (uint32_t ms : {0u, 1u, 5u, 500u, 1000u}) {
    uint32_t before = ScriptedNow();
    EXPECT_FALSE(port.WaitForInput(ms));
    EXPECT_EQ(ScriptedNow() - before, ms);
  }
  uint32_t before = ScriptedNow();
  char c = 0;
  EXPECT_EQ(port.Read(&c, 1), 0);
  EXPECT_EQ(port.Write("x", 1), 0);
  EXPECT_EQ(port.BytesWaiting(), 0);
  EXPECT_EQ(ScriptedNow(), before);
  EXPECT_EQ(ScriptedWaits(), 0u);  // never in the OS
  EXPECT_TRUE(ScriptedWrites().empty());
}

using SerialPortOnAScriptedLine = OnAScriptedLine;

TEST_F(SerialPortOnAScriptedLine, WaitForInputEndsWithItsLimitOrTheFirstByte) {
  EXPECT_FALSE(linkPort.WaitForInput(1000));
  EXPECT_EQ(ScriptedNow(), 1000u);
  ScriptedDeliver("0", 250);
  EXPECT_TRUE(linkPort.WaitForInput(1000));
  EXPECT_EQ(ScriptedNow(), 1250u);
  EXPECT_EQ(ScriptedWaits(), 2u);
}
