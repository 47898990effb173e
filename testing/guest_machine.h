// A small Linux guest under QEMU in which tqupd runs through the kernel's own serial
// drivers: an FTDI USB serial adapter (QEMU's usb-serial behind an xHCI controller,
// driven by ftdi_sio as /dev/ttyUSB0) or a 16550 UART (QEMU's isa-serial, driven by the
// 8250 driver as /dev/ttyS1). The adapter's far end is a tty on this machine, normally
// the virtual switch's pseudo-terminal: QEMU applies every rate the guest sets to it, so
// the switch sees the guest's rates as it would a host program's.
//
// The guest (scripts/realdriver-guest.sh builds it) has two more lines to the host, both
// virtio consoles: the control line, on which each command sent runs in the guest's
// shell and reports its output and exit status (Run), and the console line, the
// terminal of the program that StartOnConsole starts (tqupd, its keys typed with Type).
// QEMU's machine protocol (QMP) on a socket plugs the USB adapter in and pulls it out.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class GuestMachine {
 public:
  enum class Adapter { kFtdi, kUart };
  enum class BootResult { kUp, kNoQemu, kFailed };

  // imageDirectory holds vmlinux and initramfs.cpio.
  GuestMachine(std::string imageDirectory, Adapter adapter);
  ~GuestMachine();
  GuestMachine(const GuestMachine&) = delete;
  GuestMachine& operator=(const GuestMachine&) = delete;

  // Starts QEMU (TCG, one processor) and waits at most timeoutMs until the guest's
  // control line answers. kNoQemu when QEMU cannot start on this machine (not installed,
  // or it ends at once), kFailed when it started and the guest did not come up. Error()
  // says why.
  BootResult Boot(int timeoutMs);
  // Powers the guest off.
  void Stop();
  const std::string& Error() const { return error_; }
  // Seconds from QEMU's start to the control line's first answer.
  double BootSeconds() const { return bootSeconds_; }

  // The adapter's device in the guest and the COM number tqupd maps to it.
  std::string Device() const;
  int ComNumber() const { return adapter_ == Adapter::kFtdi ? 1 : 2; }

  // Joins the adapter to hostTty and waits until the guest's device is there. The FTDI
  // adapter is plugged in anew (pulled first if it is in), so its driver starts from a
  // fresh probe; the UART's line is switched over.
  bool Connect(const std::string& hostTty);
  // The FTDI adapter pulled out (device_del; returns once QEMU has removed it and the
  // guest's device is gone) and plugged back in on the same line (device_add).
  bool Unplug();
  bool Plug();

  struct CommandResult {
    int status = -1;  // the command's exit status, -1 when it did not end in time
    std::string output;
  };
  // Runs a shell command in the guest (with the helpers of the guest's control script).
  CommandResult Run(const std::string& command, int timeoutMs = 15000);

  // Starts command in the guest with the console line as its terminal; Output() starts
  // over.
  bool StartOnConsole(const std::string& command);
  // Waits until text has appeared on the console after position from; true when it did.
  bool WaitFor(const std::string& text, int timeoutMs, size_t from = 0);
  void Type(const std::string& keys);
  // The console as shown (CR LF as LF).
  std::string Output() const;
  // Waits at most timeoutMs for the console's program to end: its exit status, or -1.
  int ConsoleStatus(int timeoutMs);

  // What the guest's kernel printed (its console goes to a file) and what QEMU said.
  std::string KernelLog() const;
  std::string QemuLog() const;

  // The qemu-system-x86_64 to start: TQUPD_QEMU, or the one on the PATH.
  static std::string QemuProgram();

 private:
  bool ConnectSockets(int timeoutMs);
  bool Qmp(const std::string& json, std::string* reply = nullptr, int timeoutMs = 10000);
  bool WaitForEvent(const std::string& event, const std::string& device, int timeoutMs);
  bool ReadLineFromQmp(std::string* line, int timeoutMs);
  void PumpConsole(int waitMs);
  bool QemuAlive();

  std::string imageDirectory_;
  Adapter adapter_;
  std::string directory_;
  pid_t pid_ = -1;
  int control_ = -1;
  int console_ = -1;
  int qmp_ = -1;
  std::string controlBuffer_;
  std::string consoleBuffer_;
  std::string qmpBuffer_;
  std::vector<std::string> events_;
  std::string hostTty_;
  int lines_ = 0;  // chardevs made for the adapter, for their names
  bool plugged_ = false;
  double bootSeconds_ = 0;
  std::string error_;
};
