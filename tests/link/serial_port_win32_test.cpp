// The Windows build's SerialPort under Wine, against a pseudo-terminal linked as its COM
// port: open, exclusive re-open message, writes, line reads, queue count, baud change.
#include <gtest/gtest.h>

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "testing/program_run.h"
#include "testing/pty_pair.h"

namespace {

// Reads from the master until text has arrived (bounded); true when it did.
bool ReadUntil(int master, const std::string& text, std::string* seen) {
  char buffer[256];
  for (int i = 0; i < 600 && seen->find(text) == std::string::npos; ++i) {
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 100) <= 0) continue;
    ssize_t n = read(master, buffer, sizeof buffer);
    if (n > 0) seen->append(buffer, static_cast<size_t>(n));
  }
  return seen->find(text) != std::string::npos;
}

speed_t SpeedOf(int fd) {
  termios mode{};
  tcgetattr(fd, &mode);
  return cfgetospeed(&mode);
}

}  // namespace

TEST(WindowsSerialPort, TalksOverAPseudoTerminalLinkedAsItsComPort) {
  const char* bin = getenv("TQUPD_WINDOWS_BIN");
  const char* wineRun = getenv("TQUPD_WINE_RUN");
  if (!bin || !wineRun) GTEST_SKIP() << "Windows build not given";

  PtyPair pty;
  ASSERT_TRUE(pty.ok());
  const int master = pty.master(), slave = pty.slave();
  std::string link;
  int port = ClaimWineComPort(pty.slavePath(), &link);
  ASSERT_NE(port, 0);

  speed_t firstRate = 0, secondRate = 0;
  std::thread peer([&] {
    std::string seen;
    if (!ReadUntil(master, "PING\r\n", &seen)) return;
    firstRate = SpeedOf(slave);
    ssize_t w = write(master, "PONG\r\n", 6);
    if (!ReadUntil(master, "FAST\r\n", &seen)) return;
    secondRate = SpeedOf(slave);
    w = write(master, "QUICK\r\n", 7);
    (void)w;
  });
  RunResult r = RunWithClosedInput(
      {wineRun, std::string(bin) + "/serial_check.exe", std::to_string(port)}, 60000);
  peer.join();
  unlink(link.c_str());

  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.output, "open 1\n"
                      "Com" +
                          std::to_string(port) +
                          " already open!\n"
                          "again 1\n"
                          "reply 4 PONG\n"
                          "queued 1\n"
                          "rate 1\n"
                          "reply 5 QUICK\n"
                          "silence -1\n"
                          "close 1\n"
                          "closed write 0\n"
                          "missing 0\n");
  EXPECT_EQ(firstRate, static_cast<speed_t>(B19200));
  EXPECT_EQ(secondRate, static_cast<speed_t>(B115200));
}
