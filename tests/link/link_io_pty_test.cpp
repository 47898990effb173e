// The line reader and the other link helpers over a real pseudo-terminal.
#include <gtest/gtest.h>

#include <string>

#include "link/link_io.h"
#include "link/pty_port.h"
#include "link/serial_port.h"

class LinkIo : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OpenLink(pty.portNumber()), 1);
    ASSERT_EQ(SetLinkBaudRate(115200), 1);
  }
  PtyPort pty;
  char line[20] = {};
};

TEST_F(LinkIo, ReadLineStopsAtTheTerminatorAndLeavesTheRestQueued) {
  pty.Send("OK\r\n0\r");
  EXPECT_EQ(ReadLineCR(line, 20), 2);
  EXPECT_STREQ(line, "OK");
  EXPECT_EQ(linkPort.BytesWaiting(), 3);
  // The LF is dropped as a control character by the next read.
  EXPECT_EQ(ReadLineCR(line, 20), 1);
  EXPECT_STREQ(line, "0");
}

TEST_F(LinkIo, ACarriageReturnAloneIsAnEmptyLine) {
  pty.Send("\r");
  EXPECT_EQ(ReadLineCR(line, 20), 0);
  EXPECT_STREQ(line, "");
}

TEST_F(LinkIo, ALineThatFillsTheBufferFailsEvenWithItsTerminatorQueued) {
  pty.Send("ABCDEFGHIJKLMNOPQRST\r");
  EXPECT_EQ(ReadLineCR(line, 20), -1);
  EXPECT_STREQ(line, "");
  pty.Send("ABCDEFGHIJKLMNOPQRS\r");  // 19 characters fit a 20-byte buffer
  FlushInput();
  pty.Send("ABCDEFGHIJKLMNOPQRS\r");
  EXPECT_EQ(ReadLineCR(line, 20), 19);
}

TEST_F(LinkIo, ControlAndHighBytesNeverReachTheText) {
  pty.Send(std::string("A\x01\x13"
                       "B\x80\xff\x7f"
                       "C\0D\r",
                       11));
  EXPECT_EQ(ReadLineCR(line, 20), 5);
  EXPECT_STREQ(line, "AB\x7f"
                     "CD");
}

TEST_F(LinkIo, ReadLineTakesAnyCharacterOfTheTerminatorSet) {
  pty.Send("^+$^P\r");
  EXPECT_EQ(ReadLine(line, 20, "$\r"), 2);
  EXPECT_STREQ(line, "^+");
  EXPECT_EQ(ReadLine(line, 20, "$\r"), 2);
  EXPECT_STREQ(line, "^P");
  pty.Send("^=V \"X\" 2.60$");
  EXPECT_EQ(ReadLineDollar(line, 20), 12);
}

TEST_F(LinkIo, FlushInputDiscardsEverythingReceived) {
  pty.Send("Synchronized\r\nOK\r\n");
  FlushInput();
  EXPECT_EQ(linkPort.BytesWaiting(), 0);
  // A full queue of stale bytes goes too: the flush's limit is far beyond what it takes.
  pty.Send(std::string(4000, '\x80'));
  FlushInput();
  EXPECT_EQ(linkPort.BytesWaiting(), 0);
}

TEST_F(LinkIo, SendHelpersPutExactBytesOnTheLine) {
  SendString("A 0\r");
  SendChar(0x1B);
  SendChar(0x13F);  // only the low eight bits go out
  EXPECT_EQ(pty.Received(), "A 0\r\x1B?");
}

TEST(Clock, DelayNeverReturnsEarly) {
  for (int32_t ms : {0, 1, 10, 20}) {
    uint32_t start = ClockMs();
    DelayMs(ms);
    EXPECT_TRUE(ElapsedMs(start, static_cast<uint32_t>(ms))) << ms;
  }
}

TEST(Clock, ElapsedMsComparesAgainstTheLimitInUnsignedArithmetic) {
  uint32_t now = ClockMs();
  EXPECT_EQ(ElapsedMs(now - 100000, 500), 1);
  EXPECT_EQ(ElapsedMs(now, 100000), 0);
  // A start "in the future" wraps to a huge difference: counted as elapsed, never hangs.
  EXPECT_EQ(ElapsedMs(now + 1000, 500), 1);
}
