// Console keys on POSIX.
//
// A terminal delivers input a line at a time and echoes it; the Y/N prompt and the exit
// prompt need single keys without echo. On first use the terminal is switched to
// non-canonical, no-echo mode. Signals stay enabled so that Ctrl-C still stops the
// program; the original mode is put back at exit and on SIGINT, SIGTERM and SIGHUP, so a
// technician is never left with a terminal that does not echo. Those signals also say
// so when they cut an update off half way, as the Windows console does.
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "link/console_keys.h"

namespace {

bool prepared = false;
bool rawActive = false;
termios savedMode{};

void RestoreTerminal() {
  if (rawActive) {
    tcsetattr(STDIN_FILENO, TCSANOW, &savedMode);
    rawActive = false;
  }
}

void OnSignal(int signalNumber) {
  if (ProgrammingUnderway()) {
    ssize_t n = write(STDOUT_FILENO, kInterruptedLine, strlen(kInterruptedLine));
    (void)n;
  }
  RestoreTerminal();
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

void CatchEndingSignals() {
  for (int s : {SIGINT, SIGTERM, SIGHUP}) {
    // A signal the program was started to ignore stays ignored.
    struct sigaction old {};
    if (sigaction(s, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    signal(s, OnSignal);
  }
}

void Prepare() {
  if (prepared) return;
  prepared = true;
  CatchEndingSignals();
  if (tcgetattr(STDIN_FILENO, &savedMode) != 0) return;  // not a terminal
  termios raw = savedMode;
  raw.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
  // A read returns with the first key (VTIME then only times the gaps between keys, and
  // a key read asks for one).
  raw.c_cc[VMIN] = 1;
  if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
  rawActive = true;
  atexit(RestoreTerminal);
}

}  // namespace

void PrepareConsoleKeys() { Prepare(); }

int KeyWaiting() {
  Prepare();
  pollfd p{};
  p.fd = STDIN_FILENO;
  p.events = POLLIN;
  // The end of input (POLLHUP, or a readable descriptor that reads 0) counts as waiting,
  // so that ReadKey can report it at once.
  return poll(&p, 1, 0) > 0 ? 1 : 0;
}

int ReadKey() {
  Prepare();
  unsigned char key{};
  for (;;) {
    ssize_t n = read(STDIN_FILENO, &key, 1);
    if (n == 1) return key;
    if (n == 0) return -1;
    // It failed: only a read interrupted by a signal is made again.
    if (errno != EINTR) return -1;
  }
}
