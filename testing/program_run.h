// Running the real tqupd program in a child process, native or the Windows build under
// Wine, with its console on a pipe or on a pseudo-terminal (so that keys reach it).
#pragma once

#include <sys/resource.h>
#include <sys/types.h>

#include <string>
#include <vector>

// Which build a test drives.
enum class Build { kNative, kWindows };

// The command line that starts tqupd of that build with args; empty when that build is
// not available (the Windows build needs TQUPD_WINDOWS_BIN and TQUPD_WINE_RUN).
std::vector<std::string> TqupdCommand(Build build, const std::vector<std::string>& args);

// The Wine prefix that TQUPD_WINE_RUN uses (created if need be); empty without Wine.
std::string WinePrefix();

// Links a free COM number of that prefix's dosdevices folder (20 and up, clear of the
// search range 1 to 16) to target and returns the number, or 0. Creating the link is the
// claim, so tests running side by side never share a number. *link gets its path.
int ClaimWineComPort(const std::string& target, std::string* link);

// The console text as a user would read it: CR LF pairs (Windows text mode) become LF.
std::string NormalizeConsole(const std::string& text);

struct RunResult {
  std::string output;
  int status = -1;  // exit status, or -1 when it did not end in time
};

// Runs command with standard input from /dev/null (the end of input at once).
RunResult RunWithClosedInput(const std::vector<std::string>& command, int timeoutMs);

// A program whose console is a pseudo-terminal: it sees a terminal, and keys typed here
// reach its unbuffered key reads. With outputThroughPipe its standard output goes to a
// pipe instead: Wine renders a program's output to a terminal with cursor movements,
// while the program's own bytes are what the tests compare.
class ConsoleSession {
 public:
  // Starts the program.
  ConsoleSession(const std::vector<std::string>& command,
                 const std::vector<std::string>& environment = {}, bool outputThroughPipe = false);
  ~ConsoleSession();
  ConsoleSession(const ConsoleSession&) = delete;
  ConsoleSession& operator=(const ConsoleSession&) = delete;

  // Waits until the program has taken its console out of the terminal's line mode (tqupd
  // does so first thing), so that keys typed from then on reach it. When Wine's console
  // came up detached from the pseudo-terminal, the program is killed and started once
  // more, and the session goes on with the second start (its output only). False when
  // the console came up detached on both starts. Nothing else starts a program again.
  // A console counts as detached when the terminal is still in line mode detachedMs
  // after the program's first output (the default allows for a loaded machine).
  bool WaitUntilKeysReachIt(int detachedMs = 20000);
  // Reads output until text has appeared after position from (default: anywhere), or
  // timeoutMs passed. True when it appeared.
  bool WaitFor(const std::string& text, int timeoutMs, size_t from = 0);
  void Type(const std::string& keys);
  // Waits for the program to end, reading its output; its exit status or -1.
  int WaitExit(int timeoutMs);
  // Ends the program if it still runs.
  void Kill();
  // Everything shown so far, normalised.
  std::string Output() const { return NormalizeConsole(output_); }
  // What reached the terminal when the output went through a pipe (for diagnosis).
  const std::string& Terminal() const { return terminal_; }
  bool Running() { return status_ < 0; }
  // Whether the console is in the terminal's line mode (canonical, echoing).
  bool InLineMode() const;
  // True when WaitUntilKeysReachIt found the console detached on both starts: keys
  // typed into this session cannot reach the program.
  bool ConsoleDetached() const { return consoleDetached_; }
  // How many times the program was started (2 after a detached console).
  int Starts() const { return starts_; }
  // Processor time the program used (valid once WaitExit has seen it end).
  const rusage& Usage() const { return usage_; }

 private:
  void Start();
  void Stop();
  bool CameUpDetached(int detachedMs);
  bool Canonical() const;
  void Pump(int waitMs);
  std::vector<std::string> command_;
  std::vector<std::string> environment_;
  bool outputThroughPipe_;
  pid_t pid_ = -1;
  int master_ = -1;
  int output_fd_ = -1;  // where the program's output is read: the master or the pipe
  int status_ = -1;
  int starts_ = 0;
  bool consoleDetached_ = false;
  std::string output_;
  std::string terminal_;
  rusage usage_{};
};
