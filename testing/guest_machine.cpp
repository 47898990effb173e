#include "testing/guest_machine.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "testing/program_run.h"

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Reads what fd has within waitMs into buffer; false when the other end has closed.
bool ReadAvailable(int fd, std::string* buffer, int waitMs) {
  pollfd p{fd, POLLIN, 0};
  if (poll(&p, 1, waitMs) <= 0) return true;
  char bytes[4096];
  ssize_t n = read(fd, bytes, sizeof bytes);
  if (n > 0) buffer->append(bytes, static_cast<size_t>(n));
  return n > 0 || (n < 0 && (errno == EAGAIN || errno == EINTR));
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    // A socket whose far end has gone (QEMU ended) fails the write instead of raising
    // SIGPIPE.
    ssize_t n = send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

int ConnectUnix(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) return -1;
  memcpy(address.sun_path, path.c_str(), path.size() + 1);
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

std::string Json(const std::string& command, const std::string& arguments) {
  return "{\"execute\":\"" + command + "\",\"arguments\":{" + arguments + "}}\n";
}

std::string SerialBackend(const std::string& id, const std::string& tty) {
  return "\"id\":\"" + id + "\",\"backend\":{\"type\":\"serial\",\"data\":{\"device\":\"" + tty +
         "\"}}";
}

// The guest's kernel: quiet, its console on the first UART (to a file), and off for good
// on a panic rather than restarted.
const char kKernelCommandLine[] = "console=ttyS0 quiet panic=-1";
// The end of each command's output on the control line.
const char kEnd[] = "@@end ";

}  // namespace

std::string GuestMachine::QemuProgram() {
  const char* qemu = getenv("TQUPD_QEMU");
  return qemu && *qemu ? qemu : "qemu-system-x86_64";
}

GuestMachine::GuestMachine(std::string imageDirectory, Adapter adapter)
    : imageDirectory_(std::move(imageDirectory)), adapter_(adapter) {}

GuestMachine::~GuestMachine() {
  Stop();
  if (!directory_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }
}

std::string GuestMachine::Device() const {
  return adapter_ == Adapter::kFtdi ? "/dev/ttyUSB0" : "/dev/ttyS1";
}

GuestMachine::BootResult GuestMachine::Boot(int timeoutMs) {
  std::string kernel = imageDirectory_ + "/vmlinux";
  std::string initramfs = imageDirectory_ + "/initramfs.cpio";
  if (!std::filesystem::exists(kernel) || !std::filesystem::exists(initramfs)) {
    error_ = "no guest in " + imageDirectory_ + " (scripts/realdriver-guest.sh makes it)";
    return BootResult::kNoQemu;
  }
  char pattern[] = "/tmp/tqupd-guest-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    error_ = "cannot create a temporary folder";
    return BootResult::kFailed;
  }
  directory_ = pattern;
  const std::string& d = directory_;
  std::vector<std::string> args = {
      QemuProgram(), "-bios", "qboot.rom", "-accel", "tcg", "-machine", "pc", "-m", "256", "-smp",
      "1", "-nodefaults", "-display", "none", "-no-reboot", "-kernel", kernel, "-initrd", initramfs,
      "-append", kKernelCommandLine,
      // ttyS0: the kernel's console, into a file.
      "-chardev", "file,id=kernel,path=" + d + "/kernel.log", "-device",
      "isa-serial,index=0,chardev=kernel",
      // hvc0 and hvc1: the control line and the console line.
      "-device", "virtio-serial-pci", "-chardev",
      "socket,id=control,path=" + d + "/control.sock,server=on,wait=off", "-device",
      "virtconsole,chardev=control", "-chardev",
      "socket,id=console,path=" + d + "/console.sock,server=on,wait=off", "-device",
      "virtconsole,chardev=console", "-qmp", "unix:" + d + "/qmp.sock,server=on,wait=off"};
  if (adapter_ == Adapter::kFtdi) {
    // The adapter itself is plugged in by Connect.
    args.insert(args.end(), {"-device", "qemu-xhci,id=xhci"});
  } else {
    // ttyS1, on no line until Connect.
    args.insert(args.end(),
                {"-chardev", "null,id=line0", "-device", "isa-serial,index=1,chardev=line0"});
  }
  std::string logPath = d + "/qemu.log";
  int64_t start = NowMs();
  pid_t pid = fork();
  if (pid == 0) {
    // A test that crashes never runs its destructors: the guest goes down with it.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    int none = open("/dev/null", O_RDONLY);
    if (none >= 0) dup2(none, STDIN_FILENO);
    std::vector<char*> argv;
    argv.reserve(args.size() + 1);
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    dprintf(STDERR_FILENO, "cannot run %s: %s\n", argv[0], strerror(errno));
    _exit(127);
  }
  if (pid < 0) {
    error_ = "fork failed";
    return BootResult::kFailed;
  }
  pid_ = pid;
  if (!ConnectSockets(5000)) {
    bool ended = !QemuAlive();
    error_ =
        QemuProgram() + (ended ? " could not start: " : " did not open its sockets: ") + QemuLog();
    Stop();
    return ended ? BootResult::kNoQemu : BootResult::kFailed;
  }
  // The first answer: the echo of the line, if the guest took it before it turned its
  // echo off, holds the sum unworked.
  CommandResult up = Run("echo @@$((40+2))up", timeoutMs);
  if (up.status != 0 || up.output.find("@@42up") == std::string::npos) {
    error_ = "the guest did not come up within " + std::to_string(timeoutMs) +
             " ms; its kernel said:\n" + KernelLog() + "\nQEMU said:\n" + QemuLog();
    Stop();
    return BootResult::kFailed;
  }
  bootSeconds_ = static_cast<double>(NowMs() - start) / 1000.0;
  return BootResult::kUp;
}

bool GuestMachine::QemuAlive() {
  if (pid_ <= 0) return false;
  int status = 0;
  if (waitpid(pid_, &status, WNOHANG) == pid_) {
    pid_ = -1;
    error_ += WIFSIGNALED(status) ? "QEMU ended on signal " + std::to_string(WTERMSIG(status))
                                  : "QEMU ended with status " + std::to_string(WEXITSTATUS(status));
    error_ += "; ";
    return false;
  }
  return true;
}

bool GuestMachine::ConnectSockets(int timeoutMs) {
  int64_t deadline = NowMs() + timeoutMs;
  while (NowMs() < deadline && QemuAlive()) {
    if (control_ < 0) control_ = ConnectUnix(directory_ + "/control.sock");
    if (console_ < 0) console_ = ConnectUnix(directory_ + "/console.sock");
    if (qmp_ < 0) qmp_ = ConnectUnix(directory_ + "/qmp.sock");
    if (control_ >= 0 && console_ >= 0 && qmp_ >= 0) {
      std::string greeting;
      return ReadLineFromQmp(&greeting, 5000) && Qmp("{\"execute\":\"qmp_capabilities\"}\n");
    }
    usleep(20000);
  }
  return false;
}

void GuestMachine::Stop() {
  for (int* fd : {&control_, &console_, &qmp_}) {
    if (*fd >= 0) close(*fd);
    *fd = -1;
  }
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    for (int i = 0; i < 200 && QemuAlive(); ++i) usleep(10000);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  pid_ = -1;
  plugged_ = false;
}

bool GuestMachine::ReadLineFromQmp(std::string* line, int timeoutMs) {
  int64_t deadline = NowMs() + timeoutMs;
  for (;;) {
    size_t end = qmpBuffer_.find('\n');
    if (end != std::string::npos) {
      *line = qmpBuffer_.substr(0, end);
      qmpBuffer_.erase(0, end + 1);
      return true;
    }
    int64_t left = deadline - NowMs();
    if (left <= 0 || !ReadAvailable(qmp_, &qmpBuffer_, static_cast<int>(left))) return false;
  }
}

bool GuestMachine::Qmp(const std::string& json, std::string* reply, int timeoutMs) {
  if (qmp_ < 0 || !WriteAll(qmp_, json)) return false;
  std::string line;
  int64_t deadline = NowMs() + timeoutMs;
  while (ReadLineFromQmp(&line, static_cast<int>(std::max<int64_t>(0, deadline - NowMs())))) {
    if (line.find("\"event\"") != std::string::npos) {
      events_.push_back(line);
      continue;
    }
    if (reply) *reply = line;
    if (line.find("\"return\"") != std::string::npos) return true;
    error_ = "QEMU refused " + json;
    error_ += line;
    return false;
  }
  QemuAlive();
  error_ += "QEMU did not answer " + json;
  return false;
}

bool GuestMachine::WaitForEvent(const std::string& event, const std::string& device,
                                int timeoutMs) {
  int64_t deadline = NowMs() + timeoutMs;
  auto seen = [&] {
    for (size_t i = 0; i < events_.size(); ++i) {
      if (events_[i].find("\"" + event + "\"") != std::string::npos &&
          events_[i].find("\"" + device + "\"") != std::string::npos) {
        events_.erase(events_.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
      }
    }
    return false;
  };
  std::string line;
  while (!seen()) {
    int64_t left = deadline - NowMs();
    if (left <= 0 || !ReadLineFromQmp(&line, static_cast<int>(left))) return false;
    events_.push_back(line);
  }
  return true;
}

bool GuestMachine::Connect(const std::string& hostTty) {
  hostTty_ = hostTty;
  if (adapter_ == Adapter::kUart) {
    return Qmp(Json("chardev-change", SerialBackend("line0", hostTty)));
  }
  if (plugged_ && !Unplug()) return false;
  return Plug();
}

bool GuestMachine::Plug() {
  if (adapter_ != Adapter::kFtdi || plugged_) return false;
  // A line of its own for each plug: QEMU lets go of the last one only when the device
  // that used it is gone for good.
  std::string line = "line" + std::to_string(++lines_);
  if (!Qmp(Json("chardev-add", SerialBackend(line, hostTty_))) ||
      !Qmp(Json("device_add",
                "\"driver\":\"usb-serial\",\"id\":\"adapter\",\"bus\":\"xhci.0\",\"chardev\":\"" +
                    line + "\""))) {
    return false;
  }
  plugged_ = true;
  CommandResult probed =
      Run("wait_for " + Device() + " 20 && wait_for /sys/bus/usb-serial/devices/ttyUSB0 5");
  if (probed.status != 0) error_ = "the guest did not see the adapter: " + probed.output;
  return probed.status == 0;
}

bool GuestMachine::Unplug() {
  if (adapter_ != Adapter::kFtdi || !plugged_) return false;
  if (!Qmp(Json("device_del", "\"id\":\"adapter\"")) ||
      !WaitForEvent("DEVICE_DELETED", "adapter", 10000)) {
    return false;
  }
  plugged_ = false;
  Qmp(Json("chardev-remove", "\"id\":\"line" + std::to_string(lines_) + "\""));
  CommandResult gone = Run("wait_gone " + Device() + " 20");
  if (gone.status != 0) error_ = "the adapter's device stayed: " + gone.output;
  return gone.status == 0;
}

GuestMachine::CommandResult GuestMachine::Run(const std::string& command, int timeoutMs) {
  CommandResult result;
  if (control_ < 0 || !WriteAll(control_, command + "\n")) return result;
  int64_t deadline = NowMs() + timeoutMs;
  for (;;) {
    size_t end = controlBuffer_.find(kEnd);
    size_t lineEnd = end == std::string::npos ? end : controlBuffer_.find('\n', end);
    if (lineEnd != std::string::npos) {
      result.output = NormalizeConsole(controlBuffer_.substr(0, end));
      result.status = atoi(controlBuffer_.c_str() + end + strlen(kEnd));
      controlBuffer_.erase(0, lineEnd + 1);
      return result;
    }
    int64_t left = deadline - NowMs();
    if (left <= 0 || !ReadAvailable(control_, &controlBuffer_, static_cast<int>(left))) {
      result.output = NormalizeConsole(controlBuffer_);
      return result;
    }
  }
}

void GuestMachine::PumpConsole(int waitMs) {
  if (console_ >= 0) ReadAvailable(console_, &consoleBuffer_, waitMs);
}

bool GuestMachine::StartOnConsole(const std::string& command) {
  PumpConsole(0);
  consoleBuffer_.clear();
  CommandResult started = Run("console " + command);
  if (started.status != 0) error_ = "could not start " + command + ": " + started.output;
  return started.status == 0;
}

bool GuestMachine::WaitFor(const std::string& text, int timeoutMs, size_t from) {
  int64_t deadline = NowMs() + timeoutMs;
  for (;;) {
    std::string shown = Output();
    if (from <= shown.size() && shown.find(text, from) != std::string::npos) return true;
    int64_t left = deadline - NowMs();
    if (left <= 0) return false;
    PumpConsole(static_cast<int>(std::min<int64_t>(left, 200)));
  }
}

void GuestMachine::Type(const std::string& keys) {
  if (console_ >= 0) WriteAll(console_, keys);
}

std::string GuestMachine::Output() const { return NormalizeConsole(consoleBuffer_); }

int GuestMachine::ConsoleStatus(int timeoutMs) {
  CommandResult status =
      Run("console_status " + std::to_string((timeoutMs + 999) / 1000), timeoutMs + 5000);
  PumpConsole(0);
  if (status.status != 0 || status.output.empty()) return -1;
  return atoi(status.output.c_str());
}

std::string GuestMachine::KernelLog() const { return ReadText(directory_ + "/kernel.log"); }

std::string GuestMachine::QemuLog() const { return ReadText(directory_ + "/qemu.log"); }
