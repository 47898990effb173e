// The POSIX half of the port over a real pseudo-terminal: a port is exclusive, as it is on
// Windows, and a refused open leaves nothing behind.
#include <gtest/gtest.h>

#include <filesystem>

#include "link/pty_port.h"
#include "link/serial_port.h"

namespace {

size_t OpenDescriptors() {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    ++n;
  }
  return n;
}

}  // namespace

TEST(SerialPortPosix, APortHeldByAnotherOpenerIsRefusedAndTheRefusalLeavesNothingOpen) {
  // TIOCEXCL refuses a second open, except to root; the lock refuses it to root too. A
  // descriptor left open by the refusal would keep the lock, and the port, taken.
  PtyPort pty;
  SerialPort holder, other;
  ASSERT_EQ(holder.Open(pty.portNumber(), 19200), 1);
  size_t before = OpenDescriptors();
  EXPECT_EQ(other.Open(pty.portNumber(), 19200), 0);
  EXPECT_EQ(OpenDescriptors(), before);
  holder.Close();
  EXPECT_EQ(other.Open(pty.portNumber(), 19200), 1);  // free again once closed
  other.Close();
}
