#include "testing/vswitch_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#ifndef VSWITCH_PROGRAM
#error "VSWITCH_PROGRAM must name the vswitch binary"
#endif

namespace {

constexpr int kReadyWaitMs = 5000;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::string VirtualSwitchProcess::ProgramPath() { return VSWITCH_PROGRAM; }

VirtualSwitchProcess::VirtualSwitchProcess(std::vector<std::string> options, int portNumber)
    : options_(std::move(options)), portNumber_(portNumber) {
  char pattern[] = "/tmp/vswitch-test-XXXXXX";
  if (mkdtemp(pattern) != nullptr) {
    directory_ = pattern;
    std::filesystem::create_directory(PortsDirectory());
  } else {
    error_ = "cannot create a temporary folder";
  }
}

VirtualSwitchProcess::~VirtualSwitchProcess() {
  if (Running()) Stop();
  if (!directory_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
}

std::string VirtualSwitchProcess::LinkPath() const {
  return PortsDirectory() + "/com" + std::to_string(portNumber_);
}

bool VirtualSwitchProcess::Start() {
  if (Running()) return true;
  if (directory_.empty()) return false;
  error_.clear();
  slavePath_.clear();
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) {
    error_ = "pipe failed";
    return false;
  }
  std::vector<std::string> args = {ProgramPath(), "--link",  LinkPath(), "--flash",  FlashPath(),
                                   "--log",       LogPath(), "--stats",  StatsPath()};
  args.insert(args.end(), options_.begin(), options_.end());
  std::string errorsPath = directory_ + "/stderr.txt";

  pid_t pid = fork();
  if (pid == 0) {
    // A test that crashes never runs its destructors: the switch then goes down with it
    // instead of living on with its port.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    dup2(out[1], STDOUT_FILENO);
    int err = open(errorsPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (err >= 0) dup2(err, STDERR_FILENO);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(out[1]);
  if (pid < 0) {
    close(out[0]);
    error_ = "fork failed";
    return false;
  }
  pid_ = pid;

  // Wait for "ready <slave>\n".
  std::string text;
  auto start = std::chrono::steady_clock::now();
  for (;;) {
    auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(
                     std::chrono::steady_clock::now() - start)
                     .count();
    if (spent >= kReadyWaitMs) {
      error_ = "no ready line within 5 s";
      break;
    }
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(kReadyWaitMs - spent)) <= 0) continue;
    char buffer[256];
    ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0) {
      error_ = "vswitch ended before it was ready: " + ReadErrors();
      break;
    }
    text.append(buffer, static_cast<size_t>(n));
    size_t end = text.find('\n');
    if (end != std::string::npos) {
      if (text.compare(0, 6, "ready ") == 0) {
        slavePath_ = text.substr(6, end - 6);
      } else {
        error_ = "unexpected output: " + text;
      }
      break;
    }
  }
  close(out[0]);
  if (slavePath_.empty()) {
    Kill();
    return false;
  }
  return true;
}

bool VirtualSwitchProcess::Wait() {
  int status = 0;
  pid_t r;
  do {
    r = waitpid(pid_, &status, 0);
  } while (r < 0 && errno == EINTR);
  pid_ = -1;
  exitStatus_ = r > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return exitStatus_ == 0;
}

bool VirtualSwitchProcess::Stop() {
  if (!Running()) return exitStatus_ == 0;
  kill(pid_, SIGTERM);
  return Wait();
}

void VirtualSwitchProcess::Kill() {
  if (!Running()) return;
  kill(pid_, SIGKILL);
  Wait();
  // A killed switch leaves its link behind, as a crashed one would.
  unlink(LinkPath().c_str());
}

void VirtualSwitchProcess::Release() {
  if (Running()) kill(pid_, SIGUSR1);
}

bool VirtualSwitchProcess::Restart() {
  if (Running()) Stop();
  return Start();
}

bool VirtualSwitchProcess::Restart(std::vector<std::string> options) {
  options_ = std::move(options);
  return Restart();
}

std::vector<uint8_t> VirtualSwitchProcess::ReadFlash() const {
  std::string text = ReadText(FlashPath());
  return std::vector<uint8_t>(text.begin(), text.end());
}

std::string VirtualSwitchProcess::ReadLog() const { return ReadText(LogPath()); }

std::vector<std::string> VirtualSwitchProcess::LogLines() const {
  std::vector<std::string> lines;
  std::istringstream in(ReadLog());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

bool VirtualSwitchProcess::WaitForLog(const std::string& prefix, int ms) const {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  for (;;) {
    for (const auto& line : LogLines()) {
      if (line.compare(0, prefix.size(), prefix) == 0) return true;
    }
    if (std::chrono::steady_clock::now() >= deadline) return false;
    usleep(5000);
  }
}

std::string VirtualSwitchProcess::ReadStats() const { return ReadText(StatsPath()); }

std::string VirtualSwitchProcess::ReadErrors() const {
  return ReadText(directory_ + "/stderr.txt");
}
