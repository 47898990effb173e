// The link helpers on the simulated line: what each call hands to the port, and how the
// line reader waits.
#include <string>

#include "link/link_io.h"
#include "link/scripted_fixture.h"

using LinkIoScripted = OnAScriptedLine;

TEST_F(LinkIoScripted, AFormattedLineGoesOutInOneWrite) {
  SendFormatted("C %u %u %u\r\n", 436207616u, 268435456u, 4096u);
  ASSERT_EQ(ScriptedWrites().size(), 1u);
  EXPECT_EQ(ScriptedWrites()[0], "C 436207616 268435456 4096\r\n");
  // A text longer than the line buffer still goes out whole and in order, in pieces.
  std::string longText(300, 'x');
  SendFormatted("%s\r\n", longText.c_str());
  EXPECT_EQ(ScriptedWritten(), "C 436207616 268435456 4096\r\n" + longText + "\r\n");
}

TEST_F(LinkIoScripted, AReplyThatArrivesDuringTheWaitIsTakenAtOnce) {
  // The reader sleeps in the OS while nothing is queued; the bytes that come wake it.
  ScriptedDeliver("OK\r", 100);
  char line[20];
  EXPECT_EQ(ReadLineCR(line, 20), 2);
  EXPECT_STREQ(line, "OK");
  EXPECT_GT(ScriptedWaits(), 0u);
  EXPECT_EQ(ScriptedNow(), 100u);
}
