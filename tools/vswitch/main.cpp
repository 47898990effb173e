// vswitch: one virtual matrix switch behind a pseudo-terminal.
//
// It creates a pseudo-terminal, links its slave side as a COM port (--link), and
// behaves like one switch on that line until SIGTERM or SIGINT: its firmware at
// 19200 baud, or its microcontroller's boot ROM speaking the UART ISP protocol. The
// flash persists in a file (--flash); every start of the program is a power cycle.
// Once it listens it prints "ready <slave path>" on standard output. SIGUSR1 releases a
// switch that --interrupt N:hold has frozen.
#include <signal.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "faults.h"
#include "flash.h"
#include "pty_line.h"
#include "stats.h"
#include "switch_log.h"
#include "switch_options.h"
#include "tool_main.h"
#include "virtual_switch.h"

namespace {

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t releaseRequested = 0;

void OnStopSignal(int) { stopRequested = 1; }
void OnReleaseSignal(int) { releaseRequested = 1; }

int Fail(const std::string& message) {
  fprintf(stderr, "vswitch: %s\n", message.c_str());
  return 2;
}

// SIGTERM, SIGINT and SIGUSR1 are blocked except while the switch waits, so that a
// request is seen between two bytes, never in the middle of a flash operation.
void CatchSignals() {
  struct sigaction action {};
  sigemptyset(&action.sa_mask);
  action.sa_handler = OnStopSignal;
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGINT, &action, nullptr);
  action.sa_handler = OnReleaseSignal;
  sigaction(SIGUSR1, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  sigset_t blocked;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGTERM);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGUSR1);
  sigprocmask(SIG_BLOCK, &blocked, nullptr);
}

// Powers the switch up on the line and serves it until a stop signal; then writes the
// figures.
int RunSwitch(const SwitchOptions& options, Flash& flash, Faults& faults) {
  SwitchLog log;
  if (!options.logPath.empty() && !log.Open(options.logPath)) {
    return Fail("cannot write log " + options.logPath);
  }
  if (options.logTimes) log.EnableTimes();
  CatchSignals();
  PtyLine line;
  std::string error;
  if (!line.Open(options.linkPath, &error)) return Fail(error);

  Stats stats;
  {
    VirtualSwitch board(line, flash, faults, options.config, log, stats);
    board.PowerUp();
    printf("ready %s\n", line.SlavePath().c_str());
    fflush(stdout);
    board.Run(&stopRequested, &releaseRequested);
  }
  line.Close();
  flash.Close();

  if (options.statsPath.empty()) {
    fprintf(stderr, "%s", stats.Text().c_str());
  } else {
    std::ofstream out(options.statsPath, std::ios::trunc);
    out << stats.Text();
  }
  return 0;
}

}  // namespace

int Run(int argc, char** argv) {
  SwitchOptions options;
  int exitStatus = ParseSwitchOptions(argc, argv, options);
  if (exitStatus >= 0) return exitStatus;

  Faults faults;
  std::string error;
  if (!ConvertOptions(options, &faults, &error)) return Fail(error);
  Flash flash;
  if (!flash.Open(options.flashPath, &error) ||
      !SetUpFlash(flash, options.flash, &options.config.tableAddress, &error)) {
    return Fail(error);
  }
  return RunSwitch(options, flash, faults);
}

int main(int argc, char** argv) {
  return tool_options::RunTool("vswitch", [&] { return Run(argc, argv); });
}
