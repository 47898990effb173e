// The POSIX console keys, with standard input replaced for the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "link/console_keys.h"
#include "link/posix/standard_input.h"
#include "testing/pty_pair.h"

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

namespace {

// In a process of its own: standard input is a new terminal in the mode a shell leaves;
// the keys are prepared and a key is typed. 0 when it is read without Enter and nothing
// is echoed.
int KeyFromATerminal() {
  alarm(10);
  PtyPair terminal;
  if (!terminal.ok()) return 2;
  termios mode{};
  tcgetattr(terminal.slave(), &mode);
  mode.c_lflag |= ICANON | ECHO;
  tcsetattr(terminal.slave(), TCSANOW, &mode);
  StandardInputFrom input(dup(terminal.slave()));
  PrepareConsoleKeys();
  if (write(terminal.master(), "k", 1) != 1) return 3;
  if (ReadKey() != 'k') return 4;
  pollfd echo{terminal.master(), POLLIN, 0};
  return poll(&echo, 1, 100) == 0 ? 0 : 5;
}

}  // namespace

// On a terminal a key must come as it is pressed, without Enter and without echo: the
// Y/N prompt reads one key. The terminal is put in that mode once, so the test runs in a
// fresh process; a key that needed Enter would leave the read waiting until the alarm.
TEST(ConsoleKeysPosix, ATerminalGivesEachKeyAsItIsPressedWithoutEcho) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(std::exit(KeyFromATerminal()), testing::ExitedWithCode(0), "");
}
