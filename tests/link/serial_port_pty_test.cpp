// SerialPort over a real pseudo-terminal.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "link/clock.h"
#include "link/posix/port_names_posix.h"
#include "link/pty_port.h"
#include "link/scripted/scripted_console.h"
#include "link/serial_port.h"
#include "testing/ports_folder.h"

TEST(SerialPort, OpensTheLinkedDeviceAtTheRequestedRate) {
  PtyPort pty(7);
  ASSERT_EQ(linkPort.Open(7, 19200), 1);
  EXPECT_EQ(pty.LineSpeed(), static_cast<speed_t>(B19200));
  EXPECT_EQ(linkPort.SetBaudRate(115200), 1);
  EXPECT_EQ(pty.LineSpeed(), static_cast<speed_t>(B115200));
  EXPECT_EQ(linkPort.Close(), 1);
}

// The port takes every standard rate, as a Windows port does, and sets it in both
// directions of the line.
TEST(SerialPort, EveryStandardRateIsSetOnTheLine) {
  const struct {
    uint32_t rate;
    speed_t code;
  } kStandard[] = {{1200, B1200},   {2400, B2400},     {4800, B4800},
                   {9600, B9600},   {19200, B19200},   {38400, B38400},
                   {57600, B57600}, {115200, B115200}, {230400, B230400}};
  PtyPort pty;
  for (const auto& standard : kStandard) {
    SerialPort port;
    ASSERT_EQ(port.Open(pty.portNumber(), standard.rate), 1) << standard.rate;
    EXPECT_EQ(pty.LineSpeed(), standard.code) << standard.rate;
    EXPECT_EQ(port.SetBaudRate(standard.rate == 1200 ? 2400 : 1200), 1) << standard.rate;
    EXPECT_EQ(port.SetBaudRate(standard.rate), 1) << standard.rate;
    EXPECT_EQ(pty.LineSpeed(), standard.code) << standard.rate;
    port.Close();
  }
}

TEST(SerialPort, WritesReachTheLineAndReadsTakeOnlyWhatIsQueued) {
  PtyPort pty;
  ASSERT_EQ(linkPort.Open(pty.portNumber(), 115200), 1);
  EXPECT_EQ(linkPort.Write("J\r\n", 3), 3);
  EXPECT_EQ(pty.Received(), "J\r\n");

  pty.Send("0\r\n");
  EXPECT_EQ(linkPort.BytesWaiting(), 3);
  char c = 0;
  EXPECT_EQ(linkPort.Read(&c, 1), 1);
  EXPECT_EQ(c, '0');
  EXPECT_EQ(linkPort.BytesWaiting(), 2);
}

// A write does not end when the line's buffer is full: it waits for room, within its bound,
// and returns only when every byte has gone.
TEST(SerialPort, AWriteLargerThanTheLinesBufferWaitsForRoomAndSendsEverything) {
  PtyPort pty;
  ASSERT_EQ(linkPort.Open(pty.portNumber(), 115200), 1);
  std::string block(256 * 1024, '\0');
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('A' + i % 26);
  std::string received;
  std::thread farEnd([&] { received = pty.ReceiveCount(block.size()); });
  int32_t written = linkPort.Write(block.data(), static_cast<uint32_t>(block.size()));
  farEnd.join();
  EXPECT_EQ(written, static_cast<int32_t>(block.size()));
  EXPECT_TRUE(received == block) << received.size() << " of " << block.size() << " bytes came";
}

// The adapter pulled out in the middle of a conversation: a write fails at once rather
// than asking the failing line again and again, and a read finds nothing.
TEST(SerialPort, AWriteToALineWhoseFarEndHasGoneFails) {
  PtyPort pty;
  ASSERT_EQ(linkPort.Open(pty.portNumber(), 115200), 1);
  pty.HangUp();
  EXPECT_EQ(linkPort.Write("J\r\n", 3), 0);
  char c = 0;
  EXPECT_EQ(linkPort.Read(&c, 1), 0);
  // A wait on the dead line still takes its time, so that a caller's loop (the line
  // reader's) sleeps instead of asking again and again.
  const uint32_t start = ClockMs();
  EXPECT_FALSE(linkPort.WaitForInput(200));
  EXPECT_TRUE(ElapsedMs(start, 199));
}

TEST(SerialPort, EveryOperationOnAClosedPortReturnsZeroAndCloseIsHarmless) {
  SerialPort port;
  char c;
  EXPECT_EQ(port.Write("x", 1), 0);
  EXPECT_EQ(port.Read(&c, 1), 0);
  EXPECT_EQ(port.BytesWaiting(), 0);
  EXPECT_EQ(port.SetBaudRate(19200), 0);
  EXPECT_EQ(port.Close(), 1);
  EXPECT_EQ(port.Close(), 1);
}

TEST(SerialPort, OpeningAnOpenPortReportsItAndKeepsTheOldOne) {
  PtyPort pty(3);
  ASSERT_EQ(linkPort.Open(3, 19200), 1);
  ScriptedConsoleReset();
  EXPECT_EQ(linkPort.Open(42, 115200), 1);
  EXPECT_EQ(ScriptedPrinted(), "Com42 already open!\n");
  EXPECT_EQ(pty.LineSpeed(), static_cast<speed_t>(B19200));
  EXPECT_EQ(linkPort.Write("?", 1), 1);
  EXPECT_EQ(pty.Received(), "?");
}

TEST(SerialPort, AMissingPortFailsToOpenAndLeavesNothingOpen) {
  PtyPort pty(4);
  EXPECT_EQ(linkPort.Open(9, 19200), 0);
  EXPECT_FALSE(linkPort.IsOpen());
  // Through the link: its rate says there is no line, so detection asks nothing of it.
  linkBaudRate = 115200;
  EXPECT_EQ(OpenLink(9), 0);
  EXPECT_EQ(linkBaudRate, 0u);
}

// Nobody reads the far end: the line's buffer fills, and the write gives up at its bound
// instead of waiting for ever or saying the bytes went.
TEST(SerialPort, AWriteThatFindsNoRoomWithinItsBoundFails) {
  PtyPort pty;
  ASSERT_EQ(linkPort.Open(pty.portNumber(), 115200), 1);
  const std::string block(256 * 1024, 'U');
  EXPECT_EQ(linkPort.Write(block.data(), static_cast<uint32_t>(block.size())), 0);
}

// A read with nothing queued waits for its first byte, within its bound.
TEST(SerialPort, AReadWaitsForItsFirstByte) {
  PtyPort pty;
  ASSERT_EQ(linkPort.Open(pty.portNumber(), 19200), 1);
  std::thread farEnd([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pty.SendNow("x");
  });
  char c = 0;
  EXPECT_EQ(linkPort.Read(&c, 1), 1);
  farEnd.join();
  EXPECT_EQ(c, 'x');
}

TEST(SerialPort, ARateTheLineCannotDoClosesThePort) {
  PtyPort pty;
  ASSERT_EQ(linkPort.Open(pty.portNumber(), 19200), 1);
  EXPECT_EQ(linkPort.SetBaudRate(12345), 0);
  EXPECT_FALSE(linkPort.IsOpen());
  EXPECT_EQ(linkPort.Write("x", 1), 0);
}

TEST(SerialPort, AFailedRateChangeLeavesTheLinkAtZero) {
  // The change has closed the port: the link's rate says so, whichever rate was asked.
  PtyPort pty;
  ASSERT_EQ(OpenLink(pty.portNumber()), 1);
  EXPECT_EQ(linkBaudRate, 19200u);
  EXPECT_EQ(SetLinkBaudRate(12345), 0);
  EXPECT_EQ(linkBaudRate, 0u);
  EXPECT_FALSE(linkPort.IsOpen());
  EXPECT_EQ(SetLinkBaudRate(19200), 0);
  EXPECT_EQ(linkBaudRate, 0u);
  CloseLink();
}

TEST(SerialPort, WaitForInputSaysWhetherAByteCame) {
  // A quiet line lets the wait run out and says so; a queued byte ends it with yes.
  PtyPort pty;
  ASSERT_EQ(linkPort.Open(pty.portNumber(), 19200), 1);
  EXPECT_FALSE(linkPort.WaitForInput(50));
  pty.Send("x");
  EXPECT_TRUE(linkPort.WaitForInput(1000));
  linkPort.Close();
}

TEST(SerialPort, AReadWithNothingQueuedGivesUpAfterItsBound) {
  PtyPort pty;
  ASSERT_EQ(linkPort.Open(pty.portNumber(), 19200), 1);
  char c;
  EXPECT_EQ(linkPort.Read(&c, 1), 0);
}

TEST(PortDevicePath, MapsComNumbersToTheFolderOfLinksOrToTtyDevices) {
  char path[256];
  {
    PortsFolder links("/tmp");
    ASSERT_TRUE(PortDevicePath(12, path, sizeof path));
    EXPECT_STREQ(path, "/tmp/com12");
    // The name and its NUL must fit: refused, never cut.
    EXPECT_TRUE(PortDevicePath(12, path, 11));
    EXPECT_FALSE(PortDevicePath(12, path, 10));
  }
  // A name that is not a folder is ignored: the usual devices apply, a USB adapter's when
  // the machine has one.
  PortsFolder notAFolder("/nonexistent-folder");
  struct stat usb {};
  const bool hasUsb = stat("/dev/ttyUSB0", &usb) == 0;
  ASSERT_TRUE(PortDevicePath(1, path, sizeof path));
  EXPECT_STREQ(path, hasUsb ? "/dev/ttyUSB0" : "/dev/ttyS0");
  EXPECT_FALSE(PortDevicePath(1, path, 8));
}
