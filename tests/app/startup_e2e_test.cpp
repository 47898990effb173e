// Start-up end to end, where it needs ports: the ends of the range of port numbers are
// taken, and the port they name is the only one tried; without a port, or with 0, the
// search goes through COM1 to COM16; the console leaves line mode at start-up and gets it
// back at exit.
#include <gtest/gtest.h>

#include "app/update_fixture.h"

using StartUpPorts = EndToEnd;

TEST_P(StartUpPorts, OneAndNinetyNineAreInRangeAndOnlyThatPortIsTried) {
  // Neither port exists here: the run reports that one port, and ends. 99 goes first:
  // when Wine's server starts, its mount manager links COM1 to the host's first serial
  // device over whatever link is there; once the first run has started the server, the
  // link the test makes for COM1 stays.
  for (const char* port : {"99", "1"}) {
    SCOPED_TRACE(port);
    if (std::string(port) == "1") {
      AddMissingPort(1);
      MirrorPortsIntoWine();
    }
    Launch({port});
    if (build() == Build::kNative) {
      // Single keys without echo from the start, so that no early key is echoed or held in
      // the terminal's line editor; the terminal is given back as it was at the end.
      ASSERT_TRUE(Expect("Firmware validated.\n"));
      EXPECT_FALSE(session_->InLineMode());
    }
    EXPECT_EQ(PressKeyAndWait(), 1);
    if (build() == Build::kNative) {
      EXPECT_TRUE(session_->InLineMode());
    }
    EXPECT_EQ(Shown(), std::string(kBanner) + "\nCOM" + port + ": Could not open port." +
                           "\n\nNo updatable Halvek devices found.\n" +
                           "\nPress any key to exit...\n");
  }
}

TEST_P(StartUpPorts, NoPortOrZeroSearchesComOneToSixteen) {
  // Nothing answers on COM1 and no other port exists: every one of the sixteen is tried,
  // and the run ends. (Wine keeps COM1 for the host's first serial device when it has one,
  // a UART with nothing attached, just as silent.)
  AddSilentPort(1);
  MirrorPortsIntoWine();
  std::string tried = "\nCOM1: No Halvek devices detected.";
  for (int port = 2; port <= 16; ++port) {
    tried += "\nCOM" + std::to_string(port) + ": Could not open port.";
  }
  for (std::vector<std::string> args : {std::vector<std::string>{}, {"0"}}) {
    SCOPED_TRACE(args.empty() ? "no argument" : args[0]);
    Launch(args);
    EXPECT_EQ(PressKeyAndWait(), 1);
    EXPECT_EQ(Shown(), std::string(kBanner) + tried + "\n\nNo updatable Halvek devices found.\n" +
                           "\nPress any key to exit...\n");
  }
}

INSTANTIATE_TEST_SUITE_P(Builds, StartUpPorts, testing::Values(Build::kNative, Build::kWindows),
                         BuildName);
