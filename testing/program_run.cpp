#include "testing/program_run.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

using Clock = std::chrono::steady_clock;

int MsSince(Clock::time_point start) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
}

[[noreturn]] void Exec(const std::vector<std::string>& command) {
  std::vector<char*> argv;
  for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

// Collects the child's status (and what it used) without blocking; true once it ended.
bool Reap(pid_t pid, int* status, rusage* usage = nullptr) {
  int raw = 0;
  rusage ignored{};
  if (wait4(pid, &raw, WNOHANG, usage ? usage : &ignored) != pid) return false;
  *status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  return true;
}

}  // namespace

std::vector<std::string> TqupdCommand(Build build, const std::vector<std::string>& args) {
  std::vector<std::string> command;
  if (build == Build::kNative) {
    command.push_back(std::string(TQUPD_BIN_DIR) + "/tqupd");
  } else {
    const char* bin = getenv("TQUPD_WINDOWS_BIN");
    const char* wine = getenv("TQUPD_WINE_RUN");
    if (!bin || !*bin || !wine || !*wine) return {};
    command.push_back(wine);
    command.push_back(std::string(bin) + "/tqupd.exe");
  }
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

std::string WinePrefix() {
  const char* wineRun = getenv("TQUPD_WINE_RUN");
  if (!wineRun || !*wineRun) return {};
  FILE* pipe = popen((std::string(wineRun) + " --prefix").c_str(), "r");
  if (!pipe) return {};
  char buffer[512] = {};
  if (!fgets(buffer, sizeof buffer, pipe)) buffer[0] = '\0';
  pclose(pipe);
  std::string prefix = buffer;
  while (!prefix.empty() && prefix.back() == '\n') prefix.pop_back();
  return prefix;
}

int ClaimWineComPort(const std::string& target, std::string* link) {
  std::string prefix = WinePrefix();
  if (prefix.empty()) return 0;
  for (int n = 20; n < 99; ++n) {
    std::string path = prefix + "/dosdevices/com" + std::to_string(n);
    if (symlink(target.c_str(), path.c_str()) == 0) {
      *link = path;
      return n;
    }
  }
  return 0;
}

std::string NormalizeConsole(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

RunResult RunWithClosedInput(const std::vector<std::string>& command, int timeoutMs) {
  RunResult result;
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return result;
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_RDONLY);
    dup2(null, 0);
    dup2(pipeFds[1], 1);
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    Exec(command);
  }
  close(pipeFds[1]);
  auto start = Clock::now();
  char buffer[4096];
  // Read until the program has ended, not until the pipe closes: under Wine, helper
  // processes that outlive the program may hold the pipe open for a while.
  bool ended = false;
  for (;;) {
    if (!ended && MsSince(start) > timeoutMs) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      result.status = -1;
      break;
    }
    pollfd p{pipeFds[0], POLLIN, 0};
    ssize_t n = 0;
    if (poll(&p, 1, 20) > 0) n = read(pipeFds[0], buffer, sizeof buffer);
    if (n > 0) {
      result.output.append(buffer, static_cast<size_t>(n));
      continue;
    }
    // Quiet (or closed) once the program has ended: all it wrote has been read.
    if (ended) break;
    ended = Reap(pid, &result.status);
  }
  close(pipeFds[0]);
  result.output = NormalizeConsole(result.output);
  return result;
}

ConsoleSession::ConsoleSession(const std::vector<std::string>& command,
                               const std::vector<std::string>& environment, bool outputThroughPipe)
    : command_(command), environment_(environment), outputThroughPipe_(outputThroughPipe) {
  Start();
}

ConsoleSession::~ConsoleSession() { Stop(); }

void ConsoleSession::Start() {
  ++starts_;
  winsize size{};
  size.ws_row = 50;
  size.ws_col = 200;  // wide enough that no progress line wraps
  // Descriptors of this side are closed on exec, so that programs started meanwhile (by
  // other threads of the same process) do not hold this session's terminal or pipe.
  int pipeFds[2] = {-1, -1};
  if (outputThroughPipe_ && pipe2(pipeFds, O_CLOEXEC) != 0) return;
  pid_ = forkpty(&master_, nullptr, nullptr, &size);
  if (pid_ > 0) fcntl(master_, F_SETFD, FD_CLOEXEC);
  if (pid_ == 0) {
    for (const std::string& e : environment_) putenv(strdup(e.c_str()));
    if (outputThroughPipe_) {
      dup2(pipeFds[1], 1);
      close(pipeFds[0]);
      close(pipeFds[1]);
    }
    Exec(command_);
  }
  output_fd_ = master_;
  if (outputThroughPipe_) {
    close(pipeFds[1]);
    output_fd_ = pipeFds[0];
  }
}

void ConsoleSession::Stop() {
  Kill();
  if (output_fd_ >= 0 && output_fd_ != master_) close(output_fd_);
  if (master_ >= 0) close(master_);
  output_fd_ = master_ = -1;
}

bool ConsoleSession::Canonical() const {
  termios mode{};
  return tcgetattr(master_, &mode) == 0 && (mode.c_lflag & ICANON) != 0;
}

bool ConsoleSession::CameUpDetached(int detachedMs) {
  // tqupd takes its console out of line mode before it writes anything; Wine's console
  // follows a few milliseconds after the program's first output (35 ms at most in 180
  // starts, three at a time on two cores), which detachedMs allows for many times over.
  // Before any output the program may still be starting (Wine may be creating its
  // prefix): that is no sign of a detached console, and after kFirstOutputMs the test's
  // own waits tell what is wrong.
  const int kFirstOutputMs = 120000;
  auto start = Clock::now();
  auto firstOutput = start;
  bool shown = false;
  for (;;) {
    if (!Canonical()) return false;
    if (status_ >= 0 || Reap(pid_, &status_, &usage_)) return false;  // it ended: no keys due
    if (!shown && !output_.empty()) {
      shown = true;
      firstOutput = Clock::now();
    }
    if (shown && MsSince(firstOutput) > detachedMs) return true;
    if (!shown && MsSince(start) > kFirstOutputMs) return false;
    Pump(20);
  }
}

bool ConsoleSession::WaitUntilKeysReachIt(int detachedMs) {
  // On rare occasions Wine's console comes up detached from its pseudo-terminal: the
  // program runs and writes through its pipe, but the terminal stays in line mode and
  // keys typed never reach it. Only a new start helps, so the session makes it here,
  // before any key is typed and before a test reads the output, so that the test goes
  // on with the second start as if it were the first. By the time a detached console is
  // known, the first start has usually met the switch and waits at its first question;
  // the second start meets the switch as any later run of the utility would. This is
  // the one reason to start a program again, and it happens at most once.
  if (!CameUpDetached(detachedMs)) return true;
  Stop();
  output_.clear();
  terminal_.clear();
  status_ = -1;
  usage_ = rusage{};
  Start();
  if (!CameUpDetached(detachedMs)) return true;
  consoleDetached_ = true;
  return false;
}

void ConsoleSession::Pump(int waitMs) {
  char buffer[4096];
  if (output_fd_ != master_) {
    // Wine writes to the terminal too (cursor control); nobody reads that, so drain it.
    pollfd t{master_, POLLIN, 0};
    ssize_t n;
    while (poll(&t, 1, 0) > 0 && (n = read(master_, buffer, sizeof buffer)) > 0) {
      terminal_.append(buffer, static_cast<size_t>(n));
    }
  }
  pollfd p{output_fd_, POLLIN, 0};
  if (poll(&p, 1, waitMs) <= 0) return;
  ssize_t n = read(output_fd_, buffer, sizeof buffer);
  if (n > 0) output_.append(buffer, static_cast<size_t>(n));
}

bool ConsoleSession::WaitFor(const std::string& text, int timeoutMs, size_t from) {
  auto start = Clock::now();
  for (;;) {
    std::string shown = Output();
    if (shown.size() > from && shown.find(text, from) != std::string::npos) return true;
    if (MsSince(start) > timeoutMs) return false;
    if (status_ < 0 && Reap(pid_, &status_, &usage_)) {
      Pump(50);  // what it wrote just before it ended
      continue;
    }
    Pump(20);
  }
}

bool ConsoleSession::InLineMode() const {
  termios mode{};
  return tcgetattr(master_, &mode) == 0 && (mode.c_lflag & (ICANON | ECHO)) == (ICANON | ECHO);
}

void ConsoleSession::Type(const std::string& keys) {
  // A key typed while the terminal is still in line mode would sit in the line editor,
  // echoed, and never reach a single-key read. The program switches the terminal when it
  // starts (Wine's console does it a little after the program's first output), so wait
  // for that, within reason. (WaitUntilKeysReachIt has usually seen it already.)
  auto start = Clock::now();
  while (Canonical() && status_ < 0 && MsSince(start) < 10000) {
    Pump(20);
    Reap(pid_, &status_, &usage_);
  }
  ssize_t n = write(master_, keys.data(), keys.size());
  (void)n;
}

int ConsoleSession::WaitExit(int timeoutMs) {
  auto start = Clock::now();
  while (status_ < 0 && MsSince(start) <= timeoutMs) {
    Pump(20);
    if (status_ < 0) Reap(pid_, &status_, &usage_);
  }
  for (int i = 0; i < 5; ++i) Pump(10);
  return status_;
}

void ConsoleSession::Kill() {
  if (pid_ > 0 && status_ < 0 && !Reap(pid_, &status_)) {
    kill(pid_, SIGKILL);
    int raw = 0;
    waitpid(pid_, &raw, 0);
    status_ = 128 + SIGKILL;
  }
}
