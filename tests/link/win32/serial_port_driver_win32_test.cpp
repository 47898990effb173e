// The Windows half of the link against the driver double: what real USB serial drivers
// are documented to do that Wine never does (see driver_double_win32.h).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver_double_win32.h"
#include "link/clock.h"
#include "link/link_io.h"
#include "link/serial_port.h"
#include "link/serial_port_os.h"

namespace dd = driver_double;

namespace {

// The switch answers a few commands, as the boot ROM answers its own.
std::string Answer(const std::string& heard) {
  if (heard == "PING\r\n") return "PONG\r\n";
  if (heard == "FAST\r\n") return "QUICK\r\n";
  return "";
}

// Every setting the bytes on the line depend on, in one line of text.
std::string Describe(const DCB& d) {
  char text[256];
  snprintf(text, sizeof text,
           "%lu %u%c%s binary %u; parity check %u, abort on error %u, DSR sensitivity %u, "
           "null stripping %u, error char %u, XON/XOFF %u/%u, CTS flow %u, DSR flow %u, "
           "DTR %u, RTS %u",
           static_cast<unsigned long>(d.BaudRate), d.ByteSize, "NOEMS"[d.Parity % 5],
           d.StopBits == ONESTOPBIT    ? "1"
           : d.StopBits == TWOSTOPBITS ? "2"
                                       : "1.5",
           +d.fBinary, +d.fParity, +d.fAbortOnError, +d.fDsrSensitivity, +d.fNull, +d.fErrorChar,
           +d.fOutX, +d.fInX, +d.fOutxCtsFlow, +d.fOutxDsrFlow, +d.fDtrControl, +d.fRtsControl);
  return text;
}

std::string WholeLine(unsigned long baud) {
  return std::to_string(baud) +
         " 8N1 binary 1; parity check 0, abort on error 0, DSR sensitivity 0, null "
         "stripping 0, error char 0, XON/XOFF 0/0, CTS flow 0, DSR flow 0, DTR 0, RTS 1";
}

class DriverDouble : public testing::Test {
 protected:
  void SetUp() override { dd::Install(); }
  void TearDown() override {
    CloseLink();
    dd::Uninstall();
  }
  // How long a call took on the double's clock.
  template <typename Call>
  uint64_t Timed(Call call) {
    uint64_t start = dd::NowMs();
    call();
    return dd::NowMs() - start;
  }
  std::string ReplyTo(const char* command) {
    char line[20] = {};
    if (SendString(command) != static_cast<int>(strlen(command))) return "(not sent)";
    return ReadLineCR(line, sizeof line) >= 0 ? std::string(line) : "(no reply)";
  }
};

// After a cancel that does not end, the call may wait this much longer than its own bound.
constexpr uint64_t kCancelSlackMs = 300;

}  // namespace

TEST_F(DriverDouble, ALineLeftAtAnotherProgramsSettingsIsSetWholeOnOpenAndOnEveryRateChange) {
  struct Case {
    const char* left;
    void (*leave)(DCB*);
    bool lineErrorFirst;  // a probe at the wrong rate has made a line error
  };
  const Case cases[] = {
      {"8E1 (a Modbus tool)",
       [](DCB* d) {
         d->Parity = EVENPARITY;
         d->fParity = TRUE;
       },
       false},
      {"two stop bits", [](DCB* d) { d->StopBits = TWOSTOPBITS; }, false},
      {"abort on error", [](DCB* d) { d->fAbortOnError = TRUE; }, true},
      {"DSR sensitivity", [](DCB* d) { d->fDsrSensitivity = TRUE; }, false},
      {"7 data bits, hardware and XON/XOFF flow control",
       [](DCB* d) {
         d->ByteSize = 7;
         d->fOutX = d->fInX = TRUE;
         d->fOutxCtsFlow = d->fOutxDsrFlow = TRUE;
         d->fRtsControl = RTS_CONTROL_HANDSHAKE;
         d->fDtrControl = DTR_CONTROL_HANDSHAKE;
       },
       false},
      {"null stripping, error character, binary off",
       [](DCB* d) {
         d->fNull = TRUE;
         d->fErrorChar = TRUE;
         d->ErrorChar = '?';
         d->fBinary = FALSE;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.left);
    dd::Install();
    c.leave(&dd::LineState());
    dd::Respond(Answer);
    ASSERT_EQ(OpenLink(dd::kPort), 1);
    if (c.lineErrorFirst) {
      dd::LineErrorAt(static_cast<uint32_t>(dd::NowMs()) + 1);
      DelayMs(5);
    }
    EXPECT_EQ(ReplyTo("PING\r\n"), "PONG");
    dd::SwitchRate(115200);
    ASSERT_EQ(SetLinkBaudRate(115200), 1);
    if (c.lineErrorFirst) {
      dd::LineErrorAt(static_cast<uint32_t>(dd::NowMs()) + 1);
      DelayMs(5);
    }
    EXPECT_EQ(ReplyTo("FAST\r\n"), "QUICK");
    ASSERT_EQ(dd::AppliedStates().size(), 2u);
    EXPECT_EQ(Describe(dd::AppliedStates()[0]), WholeLine(19200));
    EXPECT_EQ(Describe(dd::AppliedStates()[1]), WholeLine(115200));
    // Another program's time-outs are gone: a read waits for its first byte and ends
    // when the line is quiet for 10 ms.
    EXPECT_EQ(dd::Timeouts().ReadIntervalTimeout, 10u);
    EXPECT_EQ(dd::Timeouts().ReadTotalTimeoutConstant, 0u);
    CloseLink();
  }
}

TEST_F(DriverDouble, APortWhoseTimeOutsCannotBeSetDoesNotOpen) {
  dd::RefuseTimeouts(true);
  EXPECT_EQ(OpenLink(dd::kPort), 0);
  // Nothing was left open.
  dd::RefuseTimeouts(false);
  EXPECT_EQ(OpenLink(dd::kPort), 1);
}

TEST_F(DriverDouble, ALineErrorInAReplyIsClearedAndTheReplyStillArrives) {
  dd::LineState().fAbortOnError = TRUE;  // set by another program; the open clears it
  dd::Respond(Answer, 20);
  ASSERT_EQ(OpenLink(dd::kPort), 1);
  dd::LineErrorAt(static_cast<uint32_t>(dd::NowMs()) + 10);  // while the reply is awaited
  EXPECT_EQ(ReplyTo("PING\r\n"), "PONG");
  EXPECT_EQ(ReplyTo("PING\r\n"), "PONG");
}

TEST_F(DriverDouble, ARequestWhoseCancelNeverEndsMarksThePortDeadWithinItsBound) {
  struct Case {
    const char* call;
    bool (*run)();
    uint64_t boundMs;
    bool holdWrites;
  };
  static uint8_t buffer[8];
  const Case cases[] = {
      {"Read", [] { return linkPort.Read(buffer, sizeof buffer) != 0; }, kPortIoBoundMs, false},
      {"WaitForInput", [] { return linkPort.WaitForInput(50); }, 50, false},
      {"Write", [] { return linkPort.Write("PING\r\n", 6) != 0; }, kPortIoBoundMs, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.call);
    dd::Install();
    dd::CancelBehaviour(dd::Cancel::kNever);
    if (c.holdWrites) dd::HoldWrites();
    ASSERT_EQ(OpenLink(dd::kPort), 1);
    memset(buffer, 0xA5, sizeof buffer);
    bool result = true;
    EXPECT_LE(Timed([&] { result = c.run(); }), c.boundMs + kCancelSlackMs);
    EXPECT_FALSE(result);
    EXPECT_EQ(dd::Violations(), std::vector<std::string>{});
    // The port is dead: every call fails, the reads and writes at once, and the driver
    // is never handed a new request while it holds the old one.
    uint32_t requests = dd::Requests();
    EXPECT_LE(Timed([] { EXPECT_EQ(linkPort.Write("PING\r\n", 6), 0); }), 1u);
    EXPECT_LE(Timed([] { EXPECT_EQ(linkPort.Read(buffer, sizeof buffer), 0); }), 1u);
    EXPECT_GE(Timed([] { EXPECT_FALSE(linkPort.WaitForInput(40)); }), 40u);
    EXPECT_EQ(dd::Requests(), requests);
    // What the abandoned read finally takes goes into memory of its own, never into a
    // buffer that a caller has since been given back.
    dd::SwitchSends("LATE BYTES\r\n", static_cast<uint32_t>(dd::NowMs()) + 5);
    DelayMs(50);
    for (uint8_t b : buffer) EXPECT_EQ(b, 0xA5);
    EXPECT_EQ(dd::Violations(), std::vector<std::string>{});
    CloseLink();
  }
}

TEST_F(DriverDouble, ACancelThatEndsLateWithinTheBoundLeavesThePortWorking) {
  dd::CancelBehaviour(dd::Cancel::kLate, 100);
  dd::Respond(Answer);
  ASSERT_EQ(OpenLink(dd::kPort), 1);
  uint8_t byte = 0;
  EXPECT_LE(Timed([&] { EXPECT_EQ(linkPort.Read(&byte, 1), 0); }), kPortIoBoundMs + kCancelSlackMs);
  EXPECT_EQ(ReplyTo("PING\r\n"), "PONG");
  EXPECT_EQ(dd::Violations(), std::vector<std::string>{});
}

TEST_F(DriverDouble, ACancelThatEndsLaterThanTheBoundMarksThePortDead) {
  dd::CancelBehaviour(dd::Cancel::kLate, 5000);
  dd::Respond(Answer);
  ASSERT_EQ(OpenLink(dd::kPort), 1);
  uint8_t byte = 0;
  EXPECT_LE(Timed([&] { EXPECT_EQ(linkPort.Read(&byte, 1), 0); }), kPortIoBoundMs + kCancelSlackMs);
  EXPECT_EQ(ReplyTo("PING\r\n"), "(not sent)");
  DelayMs(6000);  // the driver has let the old request go by now; the port stays dead
  EXPECT_EQ(ReplyTo("PING\r\n"), "(not sent)");
  EXPECT_EQ(dd::Violations(), std::vector<std::string>{});
}

TEST_F(DriverDouble, OneAbortedReadInAReplyIsRetriedAndTheReplyArrives) {
  dd::Respond(Answer);
  ASSERT_EQ(OpenLink(dd::kPort), 1);
  dd::AbortNextRead();
  EXPECT_EQ(ReplyTo("PING\r\n"), "PONG");
  // And once while a read is under way, after its first byte.
  ASSERT_EQ(SendString("PING\r\n"), 6);
  DelayMs(20);
  dd::AbortNextRead();
  char line[20] = {};
  EXPECT_EQ(ReadLineCR(line, sizeof line), 4);
  EXPECT_STREQ(line, "PONG");
}

TEST_F(DriverDouble, APulledAdapterEndsTheReadOrWriteInFlightAtOnce) {
  const DWORD errors[] = {ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE,
                          ERROR_DEVICE_REMOVED, ERROR_OPERATION_ABORTED};
  static const std::string kLong(1000, 'W');  // some 520 ms on the line at 19200
  for (DWORD error : errors) {
    for (bool writing : {false, true}) {
      SCOPED_TRACE(std::string(writing ? "mid-write, error " : "mid-read, error ") +
                   std::to_string(error));
      dd::Install();
      ASSERT_EQ(OpenLink(dd::kPort), 1);
      dd::RemoveAt(static_cast<uint32_t>(dd::NowMs()) + 100, error);
      uint8_t buffer[8];
      EXPECT_LE(Timed([&] {
                  if (writing) {
                    EXPECT_EQ(linkPort.Write(kLong.data(), static_cast<uint32_t>(kLong.size())), 0);
                  } else {
                    EXPECT_EQ(linkPort.Read(buffer, sizeof buffer), 0);
                  }
                }),
                110u);
      // Afterwards every call fails: reads and writes at once, and a line reader waits
      // out its time asleep rather than asking the driver over and over.
      EXPECT_LE(Timed([] { EXPECT_EQ(SendString("PING\r\n"), 0); }), 1u);
      uint32_t requests = dd::Requests();
      char line[20];
      uint64_t took = Timed([&] { EXPECT_EQ(ReadLineCR(line, sizeof line), -1); });
      EXPECT_GE(took, 500u);
      EXPECT_LE(took, 510u);
      EXPECT_LE(dd::Requests() - requests, 5u);
      EXPECT_EQ(dd::Violations(), std::vector<std::string>{});
      CloseLink();
    }
  }
}

TEST_F(DriverDouble, AWaitLastsWhatItSaysWhenTheSystemTimeJumps) {
  ASSERT_EQ(OpenLink(dd::kPort), 1);
  for (int64_t jump : {3'600'000LL, -3'600'000LL}) {
    SCOPED_TRACE(jump);
    // A pass loop, as the update loop waits for the switch: a millisecond at a time.
    dd::JumpSystemTimeAt(static_cast<uint32_t>(dd::NowMs()) + 100, jump);
    uint64_t took = Timed([] {
      uint32_t start = ClockMs();
      while (!ElapsedMs(start, 300)) SleepMs(1);
    });
    EXPECT_GE(took, 301u);
    EXPECT_LE(took, 303u);
    // A reply wait while line noise keeps the reader reading the clock.
    uint32_t now = static_cast<uint32_t>(dd::NowMs());
    for (uint32_t at = 10; at < 600; at += 20) dd::SwitchSends("\n", now + at);
    dd::JumpSystemTimeAt(now + 100, jump);
    char line[20];
    took = Timed([&] { EXPECT_EQ(ReadLineCR(line, sizeof line), -1); });
    EXPECT_GE(took, 500u);
    EXPECT_LE(took, 503u);
    DelayMs(200);
  }
}

TEST_F(DriverDouble, PausesRunOnTheOneMillisecondSystemTimer) {
  SleepMs(1);
  EXPECT_EQ(dd::TimerPeriods(), std::vector<UINT>{1});
  DelayMs(10);  // asked for once, not at every pause
  EXPECT_EQ(dd::TimerPeriods(), std::vector<UINT>{1});
}
