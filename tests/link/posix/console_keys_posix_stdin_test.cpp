// The POSIX console keys, with standard input replaced for the test.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <thread>

#include "link/console_keys.h"
#include "link/posix/standard_input.h"
#include "testing/pty_pair.h"

// The keys and the signals are set up once a process: a test of that set-up runs its
// death tests in a fresh process (re-executed), not a fork of this one, while it lives.
class DeathTestsInFreshProcesses {
 public:
  DeathTestsInFreshProcesses() : style_(GTEST_FLAG_GET(death_test_style)) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
  ~DeathTestsInFreshProcesses() { GTEST_FLAG_SET(death_test_style, style_); }
  DeathTestsInFreshProcesses(const DeathTestsInFreshProcesses&) = delete;
  DeathTestsInFreshProcesses& operator=(const DeathTestsInFreshProcesses&) = delete;

 private:
  std::string style_;
};

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

// A technician who started the program so that it survives the terminal's hang-up (with
// SIGHUP ignored) keeps that: the update goes on. The signals are set up once a process,
// so the test runs in a fresh one.
TEST(ConsoleKeysPosix, ASignalTheProgramWasStartedToIgnoreStaysIgnored) {
  DeathTestsInFreshProcesses fresh;
  EXPECT_EXIT(
      {
        signal(SIGHUP, SIG_IGN);
        PrepareConsoleKeys();
        SetProgrammingUnderway(true);
        raise(SIGHUP);
        std::exit(7);
      },
      testing::ExitedWithCode(7), "");
}

namespace {

bool Cooked(int fd) {
  termios mode{};
  tcgetattr(fd, &mode);
  return (mode.c_lflag & ICANON) != 0 && (mode.c_lflag & ECHO) != 0;
}

// How the program first reaches the keys: it asks whether one is waiting (as it does
// while it follows the switch's console), or it reads one (the Y/N prompt).
enum class FirstUse { KeyWaiting, ReadKey };

// The program's side: standard input is the terminal for the rest of the process, as
// it is for the program; a key is typed once the program has used the keys. 0 when it
// is seen and read without Enter and nothing is echoed.
int ReadAKeyFrom(const PtyPair& terminal, FirstUse first) {
  if (dup2(terminal.slave(), STDIN_FILENO) != STDIN_FILENO) return 9;
  if (first == FirstUse::KeyWaiting) {
    if (KeyWaiting() != 0) return 10;  // nothing typed yet
    if (write(terminal.master(), "k", 1) != 1) return 3;
    pollfd typed{};
    typed.fd = STDIN_FILENO;
    typed.events = POLLIN;
    poll(&typed, 1, 5000);
    if (KeyWaiting() != 1) return 11;
  } else {
    // The key is typed once the read has put the terminal in its mode (or after 5 s,
    // when it never does, and then the read waits for an Enter that never comes).
    std::thread typist([&terminal] {
      for (int i = 0; i < 5000 && Cooked(terminal.slave()); ++i) usleep(1000);
      (void)!write(terminal.master(), "k", 1);
    });
    const int key = ReadKey();
    typist.join();
    if (key != 'k') return 4;
  }
  if (first == FirstUse::KeyWaiting && ReadKey() != 'k') return 4;
  pollfd echo{terminal.master(), POLLIN, 0};
  return poll(&echo, 1, 100) == 0 ? 0 : 5;
}

// A new terminal in the mode a shell leaves; a program reads a key from it and exits.
// 0 when the key came as it was typed and the terminal is back in its mode afterwards.
int KeyFromATerminal(FirstUse first) {
  alarm(10);
  PtyPair terminal;
  if (!terminal.ok()) return 2;
  termios mode{};
  tcgetattr(terminal.slave(), &mode);
  mode.c_lflag |= ICANON | ECHO;
  tcsetattr(terminal.slave(), TCSANOW, &mode);
  pid_t program = fork();
  if (program == 0) std::exit(ReadAKeyFrom(terminal, first));  // the exit puts the mode back
  int status = 0;
  if (program < 0 || waitpid(program, &status, 0) != program) return 6;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return WIFEXITED(status) ? WEXITSTATUS(status) : 7;
  return Cooked(terminal.slave()) ? 0 : 8;
}

}  // namespace

// On a terminal a key must come as it is pressed, without Enter and without echo: the
// Y/N prompt reads one key. And the technician's terminal gets its mode back when the
// program ends. The terminal is put in that mode once a process, so the test runs in a
// fresh one; a key that needed Enter would leave the read waiting until the alarm.
TEST(ConsoleKeysPosix, ATerminalGivesEachKeyAsItIsPressedWithoutEchoAndGetsItsModeBack) {
  DeathTestsInFreshProcesses fresh;
  for (FirstUse first : {FirstUse::KeyWaiting, FirstUse::ReadKey}) {
    EXPECT_EXIT(std::exit(KeyFromATerminal(first)), testing::ExitedWithCode(0), "")
        << (first == FirstUse::KeyWaiting ? "asked first" : "read first");
  }
}
