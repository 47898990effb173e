// The link helpers on the simulated line: what each call hands to the port, and how the
// line reader and the flush wait, to the millisecond.
#include <string>
#include <vector>

#include "link/link_io.h"
#include "link/scripted_fixture.h"
#include "link/serial_port.h"

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

TEST_F(LinkIoScripted, ALineMustEndWithin500MsOfTheCall) {
  // The limit counts from the start of the call, however the bytes trickle in: a
  // terminator that arrives 500 ms after the call ends the line, one at 501 ms is too
  // late. The reader then gives up at that very millisecond, with an empty text, and
  // leaves what came too late queued.
  struct Arrival {
    const char* bytes;
    uint32_t atMs;  // from the call
  };
  struct Case {
    uint32_t callAtMs;
    std::vector<Arrival> arrivals;
    int result;
    const char* text;
    uint32_t returnsAtMs;  // from the call
  } cases[] = {
      {0, {{"OK\r", 500}}, 2, "OK", 500},
      {0, {{"OK\r", 501}}, -1, "", 501},
      {0, {}, -1, "", 501},
      {0, {{"O", 100}, {"K", 499}, {"\r", 500}}, 2, "OK", 500},
      {0, {{"O", 100}, {"K", 499}, {"\r", 501}}, -1, "", 501},
      {1000, {{"OK\r", 500}}, 2, "OK", 500},
      {1000, {{"OK\r", 501}}, -1, "", 501},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "call at " << c.callAtMs << ", " << c.arrivals.size()
                                    << " arrivals, returns at " << c.returnsAtMs);
    ASSERT_NO_FATAL_FAILURE(Restart());
    ScriptedAdvance(c.callAtMs);
    for (const Arrival& a : c.arrivals) ScriptedDeliver(a.bytes, a.atMs);
    char line[20] = "stale";
    EXPECT_EQ(ReadLineCR(line, 20), c.result);
    EXPECT_STREQ(line, c.text);
    EXPECT_EQ(ScriptedNow() - c.callAtMs, c.returnsAtMs);
    if (c.result < 0 && !c.arrivals.empty()) {
      EXPECT_GT(ScriptedPending(), 0u);
    }
  }
}

TEST_F(LinkIoScripted, OnAClosedPortTheLineReaderSleepsOutItsLimit) {
  // No port, nothing to wait in: the reader still takes its 500 ms, asleep, so that a
  // caller's loop does not spin, and then gives up at once.
  CloseLink();
  char line[20] = "stale";
  EXPECT_EQ(ReadLineCR(line, 20), -1);
  EXPECT_STREQ(line, "");
  EXPECT_EQ(ScriptedNow(), 501u);
  EXPECT_EQ(ScriptedWaits(), 0u);
}

TEST_F(LinkIoScripted, FlushInputEndsWithItsTailOrGivesUpAfter500Ms) {
  // Each read of a byte takes a millisecond here. A tail that stops coming is read to its
  // end, however long it keeps coming first; a line that never falls quiet (two bytes a
  // millisecond) is given up at the first moment more than 500 ms have passed since the
  // flush began, and what is left stays queued for the line reader.
  struct Case {
    const char* each;  // arrives every millisecond...
    uint32_t forMs;    // ...for this long from the flush
    uint32_t returnsAtMs;
    bool leftQueued;
  } cases[] = {{"\r", 300, 300, false}, {"\r\n", 2000, 501, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.forMs);
    ASSERT_NO_FATAL_FAILURE(Restart());
    ScriptedReadCost(1);
    for (uint32_t ms = 0; ms < c.forMs; ++ms) ScriptedDeliver(c.each, ms);
    FlushInput();
    EXPECT_EQ(ScriptedNow(), c.returnsAtMs);
    EXPECT_EQ(linkPort.BytesWaiting() > 0, c.leftQueued);
  }
}

TEST_F(LinkIoScripted, AReadThatFailsGivesNoCharacterAndTheLineGoesOn) {
  // The driver says bytes are queued, but a read hands none over: that is no character
  // (nor a repeat of the one before), and the bytes are taken by the next reads.
  for (uint32_t failing : {0u, 1u, 2u}) {
    ScriptedDeliver("AB\r");
    ScriptedFailReadAfter(failing);
    char line[20];
    EXPECT_EQ(ReadLineCR(line, 20), 2) << failing;
    EXPECT_STREQ(line, "AB") << failing;
    ASSERT_NO_FATAL_FAILURE(Restart());
  }
}

TEST_F(LinkIoScripted, ALineThatFillsTheBufferFailsAtOnce) {
  // max characters without a terminator: the line cannot be one the caller wants, and
  // the reader says so at once instead of waiting out its limit. The terminator and
  // what follows stay queued.
  ScriptedDeliver("0123456789\rX");
  char line[10];
  EXPECT_EQ(ReadLineCR(line, 10), -1);
  EXPECT_STREQ(line, "");
  EXPECT_EQ(ScriptedNow(), 0u);
  EXPECT_EQ(ScriptedPending(), 2u);
}
