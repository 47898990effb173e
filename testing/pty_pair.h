// A pseudo-terminal pair that closes itself: the master, where a test or a tool plays the
// far end of a serial line, and the slave, the device that a program opens by its path.
// The master is raw, so the bytes the far end writes reach the line unchanged.
#pragma once

#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

class PtyPair {
 public:
  PtyPair() {
    char name[256];
    if (openpty(&master_, &slave_, name, nullptr, nullptr) != 0) {
      master_ = slave_ = -1;
      return;
    }
    slavePath_ = name;
    termios mode{};
    tcgetattr(master_, &mode);
    cfmakeraw(&mode);
    tcsetattr(master_, TCSANOW, &mode);
  }
  ~PtyPair() {
    if (master_ >= 0) close(master_);
    if (slave_ >= 0) close(slave_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  // False when the system had no pseudo-terminal to give.
  bool ok() const { return master_ >= 0; }
  int master() const { return master_; }
  // Kept open for the pair's life, so that the line stays up whoever else opens it.
  int slave() const { return slave_; }
  const std::string& slavePath() const { return slavePath_; }

  // The far end goes, as when a USB adapter is pulled out: the slave is hung up.
  void CloseMaster() {
    if (master_ >= 0) close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};
