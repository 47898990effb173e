// The line as another program left it, and an update cut off half way: the real tqupd
// (native, and the Windows build under Wine) against the virtual switch.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "app/update_fixture.h"

namespace {

const uint32_t kOlder = 0x02320000;  // 2.50

// Leaves the switch's line at even parity, two stop bits and hardware flow control, as a
// program that used the port before might have; false when the line cannot be set.
bool LeaveLineSetOtherwise(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  termios mode{};
  bool set = tcgetattr(fd, &mode) == 0;
  mode.c_cflag |= PARENB | CSTOPB | CRTSCTS;
  mode.c_cflag &= static_cast<tcflag_t>(~PARODD);
  mode.c_iflag |= INPCK;
  set = set && tcsetattr(fd, TCSANOW, &mode) == 0;
  close(fd);
  return set;
}

// The line's settings as they are now: parity, two stop bits, hardware flow control.
tcflag_t LineFlags(const std::string& path) {
  int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  termios mode{};
  if (fd < 0 || tcgetattr(fd, &mode) != 0) return ~tcflag_t{0};
  close(fd);
  return mode.c_cflag & (PARENB | CSTOPB | CRTSCTS);
}

}  // namespace

using LineSettings = EndToEnd;

TEST_P(LineSettings, ALineLeftAtEvenParityTwoStopBitsAndFlowControlStillUpdates) {
  VirtualSwitchProcess& sw = AddSwitch(InstalledVersion(kOlder));
  ASSERT_TRUE(LeaveLineSetOtherwise(sw.LinkPath()));
  // A pseudo-terminal keeps the stop bits and the flow control, but not the parity: that
  // case is proven against the driver double (windows_driver_tests).
  ASSERT_EQ(LineFlags(sw.LinkPath()) & (CSTOPB | CRTSCTS), static_cast<tcflag_t>(CSTOPB | CRTSCTS));
  Launch({PortOf(sw)});
  ASSERT_TRUE(Expect("(Y,N) "));
  session_->Type("y");
  EXPECT_EQ(PressKeyAndWait(), 1);
  EXPECT_NE(Shown().find(ProgressLines() + DspLines(2) + "\nPress any key to exit...\n"),
            std::string::npos)
      << Shown();
  // The program set the whole line: no parity, one stop bit, no flow control.
  EXPECT_EQ(LineFlags(sw.LinkPath()), 0u);
  sw.Stop();
  EXPECT_TRUE(FlashHoldsCarriedImage(sw.ReadFlash()));
}

// Ctrl-C while the flash is being rewritten: one line says what happened and what to do.
TEST_P(LineSettings, CtrlCDuringProgrammingSaysTheUpdateWasInterrupted) {
  VirtualSwitchProcess& sw = AddSwitch(InstalledVersion(kOlder));
  Launch({PortOf(sw)});
  ASSERT_TRUE(Expect("(Y,N) "));
  session_->Type("y");
  ASSERT_TRUE(Expect("Updating firmware:  "));
  session_->Type("\x03");
  session_->WaitExit(30000);
  EXPECT_FALSE(session_->Running());
  std::string shown = Shown();
  const std::string line = "\nThe update was interrupted. Run tqupd again to finish it.\n";
  EXPECT_NE(shown.find(line), std::string::npos) << shown;
  EXPECT_EQ(shown.find("100% complete"), std::string::npos) << shown;
}

INSTANTIATE_TEST_SUITE_P(Builds, LineSettings, testing::Values(Build::kNative, Build::kWindows),
                         BuildName);
