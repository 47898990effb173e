// The port scan and the update loop's first looks on the simulated line, where the
// probe's tries on a silent port take no real time: a port named on the command line
// with nothing on it is reported by the scan and, once more, by the update loop, which
// ends the run; a switch the scan matched that no longer fits is looked at again; a
// search that finds nothing ends the run itself. The runs that end the program run in a
// child process (native build only), which shows what it printed on standard error.
#include <string>
#include <string_view>

#include "app/driver_state.h"
#include "app/port_scan.h"
#include "app/update_loop.h"
#include "image/identify.h"
#include "link/scripted_fixture.h"

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
#define TQUPD_EXIT_TESTS 1
#endif

namespace {

class PortScanScripted : public OnAScriptedLine {
 protected:
  PortScanScripted() : OnAScriptedLine(false) {}  // the scan opens the ports itself
  void NamePort(int32_t port) {
    firstPort = lastPort = port;
    singlePortGiven = true;
  }
};

}  // namespace

TEST_F(PortScanScripted, ANamedPortWithNothingOnItIsReportedAfterTheProbesFourTries) {
  NamePort(3);
  RunPortScan();
  EXPECT_EQ(ScriptedPrinted(), "\nCOM3: No Halvek devices detected.\n");
  EXPECT_EQ(ScriptedNow(), 4u * 534u);
  EXPECT_EQ(portNumber, 3);
  EXPECT_TRUE(linkPort.IsOpen());  // the update loop takes over with this port
}

#ifdef TQUPD_EXIT_TESTS
TEST_F(PortScanScripted, ForANamedPortWithNothingOnItTheUpdateLoopLooksOnceMoreAndEndsTheRun) {
  NamePort(3);
  RunPortScan();
  ScriptedPrinted();
  EXPECT_EXIT(
      {
        ShowPrintedOnExit();
        RunUpdateLoop();
      },
      testing::ExitedWithCode(1),
      "^\nNo Halvek device found on COM3\\.\n\nPress any key to exit\\.\\.\\.\n$");
}

TEST_F(PortScanScripted, ASwitchTheScanMatchedThatNoLongerFitsIsLookedAtAgain) {
  // The scan finds the carried product; by the time the update loop looks, the switch
  // reports another model (it was changed under us). The loop says why it will not
  // update it and looks again, rather than ending the run as it does for a named switch
  // that never matched; here nothing answers the next look, and that ends the run.
  const char* identities[] = {"^=V \"KLM8800T\" 2.50,86,3,1$", "^=V \"KLM4412T\" 2.50,86,2,1$"};
  int answered = 0;
  ScriptedRespond([&](std::string_view written) {
    if (ScriptedBaudRates().back() != 19200 || answered == 2) return;
    if (written == "*") ScriptedDeliver("^+$", 11);
    if (written == "^V$") ScriptedDeliver(identities[answered++]);
  });
  NamePort(3);
  RunPortScan();
  EXPECT_EQ(ScriptedPrinted(), "\nCOM3: An KLM8800T was found with firmware version: 2.50\n");
  EXPECT_EXIT(
      {
        ShowPrintedOnExit();
        RunUpdateLoop();
      },
      testing::ExitedWithCode(1),
      "^\nUnsupported PCB Revision: Rev 2\\.\n"
      "This firmware won't work on this version of the KLM4412T,\ndevice not updated\\.\n"
      "[^$]*\nNo Halvek device found on COM3\\.\n\nPress any key to exit\\.\\.\\.\n$");
}

TEST_F(PortScanScripted, AKeyTypedBeforeThePromptDoesNotAnswerIt) {
  // The switch runs the carried version; a "y" typed while the loop looks at it is
  // dropped, so the prompt waits for a key of its own (here the end of input: "N").
  ScriptedRespond([](std::string_view written) {
    if (ScriptedBaudRates().back() != 19200) return;
    if (written == "*") ScriptedDeliver("^+$", 11);
    if (written == "^V$") ScriptedDeliver("^=V \"KLM8800T\" 2.60,86,3,1$");
  });
  NamePort(3);
  RunPortScan();
  ScriptedPrinted();
  ScriptedKeys("y");
  EXPECT_EXIT(
      {
        ShowPrintedOnExit();
        RunUpdateLoop();
      },
      testing::ExitedWithCode(1),
      "^\nThe firmware version inside the KLM8800T matches this update\\.\n"
      "\n Current Version: 2\\.60, Model: KLM8800T\n Update Version:  2\\.60, Model: KLM8800T"
      "\n\nUpdate anyway\\? \\(Y,N\\) N\n\nUpdate canceled\\.\n\n"
      "\nPress any key to exit\\.\\.\\.\n$");
}

TEST_F(PortScanScripted, ASearchThatFindsNothingEndsTheRun) {
  // COM1 to COM15 do not exist; on COM16 nothing answers.
  for (int32_t port = 1; port <= 15; ++port) ScriptedMissingPort(port);
  std::string expected;
  for (int32_t port = 1; port <= 15; ++port) {
    expected += "\nCOM" + std::to_string(port) + ": Could not open port\\.";
  }
  expected += "\nCOM16: No Halvek devices detected\\.\n\nNo updatable Halvek devices found\\.\n"
              "\nPress any key to exit\\.\\.\\.\n";
  EXPECT_EXIT(
      {
        ShowPrintedOnExit();
        RunPortScan();
      },
      testing::ExitedWithCode(1), "^" + expected + "$");
}
#endif
