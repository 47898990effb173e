// The POSIX half of the port over a real pseudo-terminal: a port is exclusive, as it is on
// Windows, and a refused open leaves nothing behind; the line is set up whatever it was
// before, and a signal does not cut a wait short.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "link/pty_port.h"
#include "link/serial_port.h"
#include "link/serial_port_os.h"
#include "testing/ports_folder.h"
#include "testing/pty_pair.h"

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

// A line left cooked by the program before, with echo, parity, two stop bits, a hang-up on
// close and flow control: the port sets every one of them to what the switch speaks, on
// opening and again on a change of rate.
TEST(SerialPortPosix, TheLineIsRawEightBitsWithoutFlowControlWhateverItWasBefore) {
  PtyPort pty;
  termios cooked = pty.LineMode();
  cooked.c_lflag |= ICANON | ECHO | ISIG;
  cooked.c_iflag |= ICRNL | IXON | IXOFF;
  cooked.c_oflag |= OPOST | ONLCR;
  cooked.c_cflag = (cooked.c_cflag & ~CSIZE) | CS7 | PARENB | CSTOPB | HUPCL | CRTSCTS;
  pty.SetLineMode(cooked);
  const auto expectRaw = [&pty](const char* when) {
    const termios mode = pty.LineMode();
    EXPECT_EQ(mode.c_lflag & (ICANON | ECHO | ISIG), 0u) << when;
    EXPECT_EQ(mode.c_iflag & (ICRNL | IXON | IXOFF), 0u) << when;
    EXPECT_EQ(mode.c_oflag & OPOST, 0u) << when;
    EXPECT_EQ(mode.c_cflag & CSIZE, static_cast<tcflag_t>(CS8)) << when;
    EXPECT_EQ(mode.c_cflag & (PARENB | CSTOPB | HUPCL | CRTSCTS), 0u) << when;
    EXPECT_EQ(mode.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD)) << when;
  };
  SerialPort port;
  ASSERT_EQ(port.Open(pty.portNumber(), 19200), 1);
  expectRaw("opened");
  pty.SetLineMode(cooked);
  ASSERT_EQ(port.SetBaudRate(115200), 1);
  expectRaw("rate changed");
  port.Close();
}

// While the port is open the tty refuses other openers; once closed it takes them again,
// even when another program keeps the device open all along (as a terminal might).
TEST(SerialPortPosix, ThePortIsExclusiveOnlyWhileItIsOpen) {
  PtyPort pty;  // holds the device open throughout
  const auto exclusive = [&pty] {
    int flag = -1;
    ioctl(pty.slave(), TIOCGEXCL, &flag);
    return flag;
  };
  SerialPort port;
  ASSERT_EQ(port.Open(pty.portNumber(), 19200), 1);
  EXPECT_EQ(exclusive(), 1);
  port.Close();
  EXPECT_EQ(exclusive(), 0);
}

// The program holds a few ports at once; one more is refused, and once one is closed its
// place is free again.
TEST(SerialPortPosix, OneMorePortThanTheSlotsIsRefusedUntilOneCloses) {
  constexpr int kPorts = kPortOsSlots + 1;
  std::vector<std::unique_ptr<PtyPair>> lines;
  char pattern[] = "/tmp/tqupd-ports-XXXXXX";
  const std::string folder = mkdtemp(pattern);
  for (int i = 1; i <= kPorts; ++i) {
    lines.push_back(std::make_unique<PtyPair>());
    std::filesystem::create_symlink(lines.back()->slavePath(), folder + "/com" + std::to_string(i));
  }
  {
    PortsFolder links(folder);
    std::vector<SerialPort> ports(kPorts);
    for (int i = 0; i < kPortOsSlots; ++i) EXPECT_EQ(ports[i].Open(i + 1, 19200), 1) << i;
    EXPECT_EQ(ports[kPortOsSlots].Open(kPorts, 19200), 0);
    ports[0].Close();
    EXPECT_EQ(ports[kPortOsSlots].Open(kPorts, 19200), 1);
    for (SerialPort& port : ports) port.Close();
  }
  std::filesystem::remove_all(folder);
}

// A signal that comes while the port waits for the switch (a handler the program has set)
// does not cut the wait short.
namespace {
volatile sig_atomic_t signalled = 0;
}

TEST(SerialPortPosix, ASignalDuringAWaitDoesNotEndIt) {
  struct sigaction action {
  }, before{};
  action.sa_handler = [](int) { signalled = 1; };
  sigemptyset(&action.sa_mask);
  ASSERT_EQ(sigaction(SIGUSR2, &action, &before), 0);
  signalled = 0;
  PtyPort pty;
  SerialPort port;
  ASSERT_EQ(port.Open(pty.portNumber(), 19200), 1);
  const pthread_t waiter = pthread_self();
  std::thread farEnd([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pthread_kill(waiter, SIGUSR2);
    while (signalled == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    pty.SendNow("x");
  });
  EXPECT_TRUE(port.WaitForInput(900));
  farEnd.join();
  EXPECT_EQ(signalled, 1);
  port.Close();
  sigaction(SIGUSR2, &before, nullptr);
}
