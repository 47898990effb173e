// Through real serial drivers: the native tqupd in a small Linux guest under QEMU, its
// port an FTDI USB serial adapter under the kernel's ftdi_sio (/dev/ttyUSB0, COM1) or a
// 16550 UART under the kernel's 8250 driver (/dev/ttyS1, COM2), whose far end is the
// virtual switch's pseudo-terminal on this machine. What a pseudo-terminal cannot show
// is the subject here: the rates reaching a UART, the low-latency request reaching the
// adapter's latency timer, the exclusive open of a real tty, the driver's disconnect
// when the adapter is pulled out.
//
// The program boots the guest once, for the driver its command line names (--driver
// ftdi_sio or --driver 8250), and runs that driver's cases in order. It exits with 77
// (skipped) when QEMU cannot start here.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <string>

#include "app/update_fixture.h"
#include "testing/guest_machine.h"

#ifndef TQUPD_GUEST_DIR
#error "TQUPD_GUEST_DIR must name the folder of the guest's kernel and initramfs"
#endif

namespace {

GuestMachine* theGuest = nullptr;

const uint32_t kOlder = 0x02320000;  // 2.50

const char kLatencyTimer[] = "/sys/bus/usb-serial/devices/ttyUSB0/latency_timer";
// The switch's interruption point after the 19th of the update's 39 block copies.
const std::string kCopyInTheMiddle = "279";
const char kLost[] = "Lost the connection to the switch! Check cables and power.\n";

// The end-to-end cases' helpers, on the guest's console instead of a pseudo-terminal of
// this machine: Launch, Expect and PressKeyAndWait mean what they mean there.
class ThroughARealDriver : public EndToEndRun {
 protected:
  Build build() const override { return Build::kNative; }
  void TearDown() override {
    // A case that failed half way leaves no tqupd behind to hold the port.
    if (theGuest->Run("killall tqupd").status == 0) theGuest->ConsoleStatus(5000);
    EndToEndRun::TearDown();
  }

  GuestMachine& Guest() { return *theGuest; }
  std::string Com() { return std::to_string(Guest().ComNumber()); }

  // A switch that runs the older firmware, on the far end of the guest's adapter.
  VirtualSwitchProcess& SwitchOnTheAdapter(const std::vector<std::string>& options = {}) {
    VirtualSwitchProcess& sw = AddSwitch(Concat(InstalledVersion(kOlder), options));
    EXPECT_TRUE(Guest().Connect(sw.SlavePath())) << Guest().Error();
    return sw;
  }

  void Launch() { ASSERT_TRUE(Guest().StartOnConsole("tqupd " + Com())) << Guest().Error(); }

  bool Expect(const std::string& text, int timeoutMs = 60000, size_t from = 0) {
    bool seen = Guest().WaitFor(text, timeoutMs, from);
    EXPECT_TRUE(seen) << "waited for: " << text << "\nshown:\n"
                      << Shown() << "\nthe guest's kernel said:\n"
                      << Guest().Run("dmesg | tail -n 20").output;
    return seen;
  }

  int PressKeyAndWait() {
    if (!Expect("\nPress any key to exit...")) return -1;
    Guest().Type(" ");
    return Guest().ConsoleStatus(20000);
  }

  std::string Shown() { return Guest().Output(); }

  // The run after an interrupted update: the switch is offered the update again, Y
  // finishes it, and its flash holds the carried image.
  void RerunFinishesTheUpdate(VirtualSwitchProcess& sw, bool foundLineFirst = false) {
    Launch();
    if (foundLineFirst) {
      ASSERT_TRUE(Expect("\nCOM" + Com() + ": An KLM8800T was found with firmware version: "));
    }
    ASSERT_TRUE(Expect("Continue with update to newer version? (Y,N) "));
    Guest().Type("y");
    ASSERT_TRUE(Expect("\rUpdating firmware: 100% complete.\n"));
    EXPECT_EQ(PressKeyAndWait(), 1);
    sw.Stop();
    EXPECT_TRUE(FlashHoldsCarriedImage(sw.ReadFlash()));
  }

  std::string FoundLine(const char* version) {
    return "\nCOM" + Com() + ": An KLM8800T was found with firmware version: " + version + "\n";
  }

  // One full update of the older switch: the usual texts, the carried image in flash,
  // and the switch's firmware and boot ROM reached at their rates.
  void UpdatesTheOlderSwitch() {
    VirtualSwitchProcess& sw = SwitchOnTheAdapter();
    Launch();
    ASSERT_TRUE(Expect("(Y,N) "));
    Guest().Type("y");
    EXPECT_EQ(PressKeyAndWait(), 1);
    EXPECT_EQ(Shown(), std::string(kBanner) + FoundLine("2.50") + OlderSwitchUpdatedText());
    sw.Stop();
    EXPECT_TRUE(FlashHoldsCarriedImage(sw.ReadFlash()));
    // The driver set both rates on the line: the identity request at the firmware's
    // 19200, the unlock at the boot ROM's 115200.
    std::vector<std::string> log = sw.LogLines();
    EXPECT_GT(CountOf(log, "> 19200 fw ^V$"), 0u);
    EXPECT_GT(CountOf(log, "> 115200 isp U 23130"), 0u);
  }

  // Reads a file or the output of a command in the guest, without its line end.
  std::string GuestText(const std::string& command) {
    GuestMachine::CommandResult r = Guest().Run(command);
    EXPECT_EQ(r.status, 0) << command << ": " << r.output;
    while (!r.output.empty() && r.output.back() == '\n') r.output.pop_back();
    return r.output;
  }
};

using ThroughFtdiSio = ThroughARealDriver;
using Through8250 = ThroughARealDriver;

}  // namespace

// A freshly plugged adapter starts with the driver's latency timer (not 1); once tqupd
// has the port open, the driver has taken its low-latency request and set the timer to
// 1 ms, so each short reply of the boot ROM is passed on at once.
TEST_F(ThroughFtdiSio, TheLowLatencyRequestSetsTheAdaptersLatencyTimerToOne) {
  SwitchOnTheAdapter();
  EXPECT_NE(GuestText(std::string("cat ") + kLatencyTimer), "1");
  Launch();
  ASSERT_TRUE(Expect("(Y,N) "));
  EXPECT_EQ(GuestText(std::string("cat ") + kLatencyTimer), "1");
  Guest().Type("n");
  EXPECT_EQ(PressKeyAndWait(), 1);
}

// While tqupd holds the port, a program of another user is refused the device (the tty's
// exclusive mode), and so is a second tqupd run as root (the lock beside it); once
// tqupd has ended, the same open succeeds.
TEST_F(ThroughFtdiSio, ASecondOpenOfThePortIsRefusedWhileTqupdHoldsIt) {
  SwitchOnTheAdapter();
  std::string device = Guest().Device();
  // Permissions that let the other user open the device, so that only the exclusive
  // mode can refuse it.
  ASSERT_EQ(Guest().Run("chmod 666 " + device).status, 0);
  std::string otherUser = "su nobody -c 'exec 3<>" + device + "'";
  Launch();
  ASSERT_TRUE(Expect("(Y,N) "));

  GuestMachine::CommandResult other = Guest().Run(otherUser);
  EXPECT_NE(other.status, 0);
  EXPECT_NE(other.output.find("Device or resource busy"), std::string::npos) << other.output;
  GuestMachine::CommandResult second = Guest().Run("tqupd " + Com() + " </dev/null");
  EXPECT_EQ(second.status, 1);
  EXPECT_NE(second.output.find("\nCOM" + Com() + ": Could not open port."), std::string::npos)
      << second.output;

  Guest().Type("n");
  EXPECT_EQ(PressKeyAndWait(), 1);
  GuestMachine::CommandResult after = Guest().Run(otherUser);
  EXPECT_EQ(after.status, 0) << after.output;
}

TEST_F(ThroughFtdiSio, AnOlderSwitchIsUpdatedWithTheUsualTextsAndTheExactFlash) {
  UpdatesTheOlderSwitch();
}

// A row of the fault matrix through the adapter: the switch loses power in the middle of
// the firmware. The run ends without success; after the power cycle (the adapter joined
// to the switch anew) the next run finishes the update.
TEST_F(ThroughFtdiSio, PowerLossMidFirmwareIsFinishedAfterThePowerCycle) {
  VirtualSwitchProcess& sw = SwitchOnTheAdapter({"--fault-silence-after-w-bytes", "70000"});
  Launch();
  ASSERT_TRUE(Expect("(Y,N) "));
  Guest().Type("y");
  ASSERT_TRUE(Expect("\n\nError 1: " + std::string(kLost)));
  ASSERT_TRUE(Expect("\nNo Halvek device found on COM" + Com() + ".\n"));
  EXPECT_EQ(PressKeyAndWait(), 1);
  EXPECT_EQ(Shown().find("100% complete"), std::string::npos) << Shown();
  EXPECT_FALSE(FlashHoldsCarriedImage(sw.ReadFlash()));

  ASSERT_TRUE(sw.Restart(std::vector<std::string>{})) << sw.Error();
  ASSERT_TRUE(Guest().Connect(sw.SlavePath())) << Guest().Error();
  RerunFinishesTheUpdate(sw, true);
  char row[200];
  snprintf(row, sizeof row, "fault matrix | %-8s | %-38s | %-18s | %s", "ftdi_sio",
           "power loss mid-firmware", "error, switch gone", "updated, flash exact");
  std::cout << row << std::endl;
  // Beside the pseudo-terminal rows in the test run's fault matrix.
  if (const char* matrix = getenv("TQUPD_FAULT_MATRIX"); matrix && *matrix) {
    std::ofstream(matrix, std::ios::app) << row << "\n";
  }
}

// The adapter pulled out in the middle of programming: the driver's disconnect ends the
// port under tqupd, which ends with its message and claims nothing. Plugged back in, a
// new run finishes the update. The switch holds still while the adapter goes (after one
// of the firmware's block copies, its status not yet sent), so the pull comes at the
// same point of the update on every run.
TEST_F(ThroughFtdiSio, APulledAdapterEndsTheRunWithoutSuccessAndARerunFinishes) {
  VirtualSwitchProcess& sw = SwitchOnTheAdapter({"--interrupt", kCopyInTheMiddle + ":hold"});
  Launch();
  ASSERT_TRUE(Expect("(Y,N) "));
  Guest().Type("y");
  ASSERT_TRUE(sw.WaitForLog("# 115200 isp hold " + kCopyInTheMiddle, 60000)) << sw.ReadLog();
  size_t pulledAt = Shown().size();
  ASSERT_TRUE(Guest().Unplug()) << Guest().Error();
  sw.Release();
  ASSERT_TRUE(Expect(kLost, 60000, pulledAt));
  ASSERT_TRUE(Expect("\nNo Halvek device found on COM" + Com() + ".\n"));
  EXPECT_EQ(PressKeyAndWait(), 1);
  std::string first = Shown();
  size_t lost = first.rfind("\nError", first.find(kLost));
  std::cout << "pulled adapter: " << first.substr(lost + 1, first.find('\n', lost + 1) - lost - 1)
            << std::endl;
  EXPECT_NE(first.find("% complete."), std::string::npos) << first;
  EXPECT_EQ(first.find("100% complete"), std::string::npos) << first;
  EXPECT_EQ(first.find("Updating DSPs"), std::string::npos) << first;
  EXPECT_FALSE(FlashHoldsCarriedImage(sw.ReadFlash()));
  std::string kernel = GuestText("dmesg");
  EXPECT_NE(kernel.find("FTDI USB Serial Device converter now disconnected"), std::string::npos)
      << kernel;

  ASSERT_TRUE(Guest().Plug()) << Guest().Error();
  RerunFinishesTheUpdate(sw);
}

TEST_F(Through8250, AnOlderSwitchIsUpdatedWithTheUsualTextsAndTheExactFlash) {
  UpdatesTheOlderSwitch();
}

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  std::string driver;
  for (int i = 1; i + 1 < argc; ++i) {
    if (strcmp(argv[i], "--driver") == 0) driver = argv[i + 1];
  }
  GuestMachine::Adapter adapter;
  if (driver == "ftdi_sio") {
    adapter = GuestMachine::Adapter::kFtdi;
  } else if (driver == "8250") {
    adapter = GuestMachine::Adapter::kUart;
  } else {
    fprintf(stderr, "usage: %s --driver ftdi_sio|8250 [GoogleTest options]\n", argv[0]);
    return 2;
  }
  // This driver's cases only, unless a filter names others.
  if (GTEST_FLAG_GET(filter) == "*") {
    GTEST_FLAG_SET(filter,
                   adapter == GuestMachine::Adapter::kFtdi ? "ThroughFtdiSio.*" : "Through8250.*");
  }
  GuestMachine guest(TQUPD_GUEST_DIR, adapter);
  switch (guest.Boot(180000)) {
    case GuestMachine::BootResult::kNoQemu:
      printf("Skipped: the tests through the %s driver need QEMU: %s\n", driver.c_str(),
             guest.Error().c_str());
      return 77;
    case GuestMachine::BootResult::kFailed:
      fprintf(stderr, "The guest did not boot: %s\n", guest.Error().c_str());
      return 1;
    case GuestMachine::BootResult::kUp: break;
  }
  printf("The guest (%s) booted in %.1f s.\n", driver.c_str(), guest.BootSeconds());
  theGuest = &guest;
  return RUN_ALL_TESTS();
}
