// A pseudo-terminal published as a COM port for the utility's own SerialPort.
//
// The master side plays the switch; the slave is linked as <tmp>/comN and TQUPD_PORTS
// points there, so OpenLink(N) opens it exactly as it would open a real port.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "link/serial_port.h"
#include "testing/ports_folder.h"
#include "testing/pty_pair.h"

class PtyPort {
 public:
  explicit PtyPort(int portNumber = 5)
      : portNumber_(portNumber), master_(pty_.master()), slave_(pty_.slave()) {
    if (!pty_.ok()) abort();
    char pattern[] = "/tmp/tqupd-ports-XXXXXX";
    folder_ = mkdtemp(pattern);
    std::filesystem::create_symlink(pty_.slavePath(),
                                    folder_ + "/com" + std::to_string(portNumber));
    names_ = std::make_unique<PortsFolder>(folder_);
  }
  ~PtyPort() {
    CloseLink();
    names_.reset();
    std::filesystem::remove_all(folder_);
  }
  PtyPort(const PtyPort&) = delete;
  PtyPort& operator=(const PtyPort&) = delete;

  int portNumber() const { return portNumber_; }
  const std::string& folder() const { return folder_; }

  // Bytes from the switch's side of the line.
  void Send(const std::string& bytes) {
    ssize_t n = write(master_, bytes.data(), bytes.size());
    (void)n;
    // Let the line discipline move them to the slave's input queue: at once on a quiet
    // machine, later on a busy one, so the wait is long and ends as soon as they are there.
    for (int i = 0; i < 3000 && linkPort.IsOpen() && QueuedAtPort() < bytes.size(); ++i) {
      usleep(1000);
    }
  }

  // Bytes from the switch's side, while the utility may be reading them already.
  void SendNow(const std::string& bytes) {
    ssize_t n = write(master_, bytes.data(), bytes.size());
    (void)n;
  }

  // Everything the utility has written so far (waits up to waitMs for the first byte).
  std::string Received(int waitMs = 200) {
    std::string out;
    char buffer[4096];
    pollfd p{master_, POLLIN, 0};
    while (poll(&p, 1, out.empty() ? waitMs : 20) > 0) {
      ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<size_t>(n));
    }
    return out;
  }

  // Reads from the switch's side until count bytes have come or waitMs passes without one.
  std::string ReceiveCount(size_t count, int waitMs = 3000) {
    std::string out;
    char buffer[4096];
    pollfd p{master_, POLLIN, 0};
    while (out.size() < count && poll(&p, 1, waitMs) > 0) {
      ssize_t n = read(master_, buffer, sizeof buffer);
      if (n <= 0) break;
      out.append(buffer, static_cast<size_t>(n));
    }
    return out;
  }

  // The switch's side of the line goes away; the port's device is hung up.
  void HangUp() {
    pty_.CloseMaster();
    master_ = -1;
  }

  // The baud rate that the utility has set on the line, or 0 when the line's two
  // directions differ.
  speed_t LineSpeed() const {
    termios mode = LineMode();
    return cfgetospeed(&mode) == cfgetispeed(&mode) ? cfgetospeed(&mode) : 0;
  }
  termios LineMode() const {
    termios mode{};
    tcgetattr(slave_, &mode);
    return mode;
  }
  void SetLineMode(const termios& mode) { tcsetattr(slave_, TCSANOW, &mode); }
  // The port's device, held open for the test's life.
  int slave() const { return slave_; }

 private:
  size_t QueuedAtPort() const {
    int queued = 0;
    ioctl(slave_, FIONREAD, &queued);
    return static_cast<size_t>(queued);
  }

  PtyPair pty_;  // closed last
  int portNumber_;
  int master_;
  int slave_;
  std::string folder_;
  std::unique_ptr<PortsFolder> names_;
};
