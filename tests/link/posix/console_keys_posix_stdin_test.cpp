// The POSIX console keys, with standard input replaced for the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "link/console_keys.h"
#include "link/posix/standard_input.h"

TEST(ConsoleKeysPosix, KeysComeOneByteAtATimeAndThenTheEndOfInput) {
  Keys keys(std::string("y\0;", 3));  // a key, then an extended key's two codes
  EXPECT_EQ(KeyWaiting(), 1);
  EXPECT_EQ(ReadKey(), 'y');
  EXPECT_EQ(ReadKey(), 0);
  EXPECT_EQ(ReadKey(), ';');
  EXPECT_EQ(KeyWaiting(), 1);  // the end of input is reported at once
  EXPECT_EQ(ReadKey(), -1);
}

// A read that fails (here standard input is open for writing only) ends like the end of
// input, at once: only a read interrupted by a signal is made again. The child gives up
// after 10 s, so that a read that went round for ever fails the test instead of holding it.
TEST(ConsoleKeysPosix, AKeyReadThatFailsEndsLikeTheEndOfInput) {
  StandardInputFrom writeOnly(open("/dev/null", O_WRONLY));
  EXPECT_EXIT(
      {
        alarm(10);
        std::exit(ReadKey() == -1 ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// A signal that ends the program during programming says, before it ends it, that the
// update was interrupted; at any other time the program ends as it always has. (The
// child's standard output goes to its standard error, which the test reads.)
TEST(ConsoleKeysPosix, ASignalThatEndsAnUpdateHalfWaySaysSo) {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    for (bool programming : {true, false}) {
      SCOPED_TRACE(testing::Message()
                   << "signal " << signalNumber << ", programming " << programming);
      EXPECT_EXIT(
          {
            dup2(STDERR_FILENO, STDOUT_FILENO);
            PrepareConsoleKeys();
            SetProgrammingUnderway(programming);
            raise(signalNumber);
            std::exit(0);
          },
          testing::KilledBySignal(signalNumber),
          programming ? "^\n\nThe update was interrupted\\. Run tqupd again to finish it\\.\n$"
                      : "^$");
    }
  }
}
