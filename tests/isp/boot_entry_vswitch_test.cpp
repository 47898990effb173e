// Finding and entering the boot ROM of a virtual switch through the utility's own link:
// the cases an update from the firmware (the end-to-end tests) never meets.
#include <gtest/gtest.h>

#include "image/device_info.h"
#include "isp/boot_entry.h"
#include "link/link_io.h"
#include "switch_fixture.h"

namespace {

// Brings a freshly reset boot ROM into sync with its echo still on, by hand.
void SynchroniseWithEchoOn() {
  SetLinkBaudRate(115200);
  char line[20];
  SendString("?");
  ASSERT_EQ(ReadLineCR(line, 20), 12);
  SendString("Synchronized\r\n");
  ReadLineCR(line, 20);
  ASSERT_EQ(ReadLineCR(line, 20), 2);  // OK
  SendString("12000\r\n");
  ReadLineCR(line, 20);
  ASSERT_EQ(ReadLineCR(line, 20), 2);  // OK
  FlushInput();
}

}  // namespace

using BootEntry = UtilityOnASwitch;

TEST_F(BootEntry, ASynchronisedBootRomIsFoundThroughItsEchoOnAndEchoOff) {
  Start({"--erase"});
  SynchroniseWithEchoOn();
  SetLinkBaudRate(19200);                           // so that the first try is made at 115200
  EXPECT_EQ(ProbeLink(), ProbeResult::BootLoader);  // echo-on handshake
  SetLinkBaudRate(19200);
  EXPECT_EQ(ProbeLink(), ProbeResult::BootLoader);  // echo-off handshake: the probe line gets "1"
  EXPECT_EQ(CountLogged("< 115200 isp Synchronized"), 1u);  // never synchronised again
  EXPECT_EQ(CountLogged("> 115200 isp A 0"), 2u);
}

TEST_F(BootEntry, EnterBootLoaderOnASynchronisedBootRomNeedsOneProbe) {
  Start({"--erase"});
  ASSERT_EQ(ProbeLink(), ProbeResult::BootLoader);
  EXPECT_EQ(EnterBootLoader(), BootEntryResult::Synchronised);
  EXPECT_EQ(CountLogged("> 19200 fw ^BOOTL$"), 0u);
}

TEST_F(BootEntry, EnteringTheBootLoaderFromTheFirmwareLosesNoByteToTheReset) {
  // "^BOOTL$" resets the chip, and what reaches it while it resets is lost: the utility
  // probes the boot ROM only after a pause longer than the reset.
  Start(Concat(Installed(), {"--no-progress"}));
  EXPECT_EQ(EnterBootLoader(), BootEntryResult::Synchronised);
  EXPECT_EQ(CountLogged("> 19200 fw ^BOOTL$"), 1u);
  EXPECT_EQ(CountLogged("# 0 isp reset boot-rom"), 1u);
  EXPECT_EQ(Logged("# 0 isp lost-in-reset"), std::vector<std::string>{});
}
