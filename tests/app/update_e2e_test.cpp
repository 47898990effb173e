// The whole update, end to end: the real tqupd against virtual switches, typed answers
// on a pseudo-terminal console, the exact console text, and the flash afterwards.
#include <gtest/gtest.h>

#include "app/update_fixture.h"

namespace {

const uint32_t kOlder = 0x02320000;  // 2.50
const uint32_t kCarried = 0x023C0000;  // 2.60, what this build carries
const uint32_t kNewer = 0x02460000;  // 2.70

std::string FoundLine(const std::string& port, const char* version) {
  return "\nCOM" + port + ": An KLM8800T was found with firmware version: " + version + "\n";
}

}  // namespace

using Update = EndToEnd;

TEST_P(Update, AnOlderSwitchIsUpdatedAndReportsReady) {
  VirtualSwitchProcess& sw = AddSwitch(InstalledVersion(kOlder));
  std::string port = PortOf(sw);
  Launch({port});
  ASSERT_TRUE(Expect("(Y,N) "));
  session_->Type("y");
  int status = PressKeyAndWait();
  EXPECT_EQ(status, 1);
  EXPECT_EQ(Shown(), std::string(kBanner) + FoundLine(port, "2.50") +
                         "\n\nThis update is newer than the firmware inside the KLM8800T.\n"
                         "\n Current Version: 2.50, Model: KLM8800T"
                         "\n Update Version:  2.60, Model: KLM8800T"
                         "\n\nContinue with update to newer version? (Y,N) Y\n" +
                         ProgressLines() + DspLines(2) + "\nPress any key to exit...\n");
  sw.Stop();
  EXPECT_TRUE(FlashHoldsCarriedImage(sw.ReadFlash()));
}

TEST_P(Update, ASwitchThatNeverReportsReadyEndsWithThePowerCycleMessage) {
  VirtualSwitchProcess& sw = AddSwitch(Concat(InstalledVersion(kOlder), {"--no-ready"}));
  Launch({PortOf(sw)});
  ASSERT_TRUE(Expect("(Y,N) "));
  session_->Type("Y");
  ASSERT_TRUE(Expect(DspLines(2), 60000));
  // 13 s after the last progress line.
  ASSERT_TRUE(Expect("\nFirmware update complete, please power cycle the switch.\n"
                     "\nPress any key to exit...", 30000));
  EXPECT_EQ(PressKeyAndWait(), 1);
  sw.Stop();
  EXPECT_TRUE(FlashHoldsCarriedImage(sw.ReadFlash()));
}

TEST_P(Update, EqualVersionsAnsweredNoChangeNothing) {
  VirtualSwitchProcess& sw = AddSwitch(InstalledVersion(kCarried));
  std::string port = PortOf(sw);
  Launch({port});
  ASSERT_TRUE(Expect("Update anyway? (Y,N) "));
  session_->Type("x");  // ignored
  session_->Type("n");
  EXPECT_EQ(PressKeyAndWait(), 1);
  EXPECT_EQ(Shown(), std::string(kBanner) + FoundLine(port, "2.60") +
                         "\nThe firmware version inside the KLM8800T matches this update.\n"
                         "\n Current Version: 2.60, Model: KLM8800T"
                         "\n Update Version:  2.60, Model: KLM8800T"
                         "\n\nUpdate anyway? (Y,N) N\n\nUpdate canceled.\n\n"
                         "\nPress any key to exit...\n");
  EXPECT_EQ(CountOf(sw.LogLines(), "> 19200 fw ^BOOTL$"), 0u);
}

TEST_P(Update, ANewerSwitchIsCalledOlderUpdate) {
  VirtualSwitchProcess& sw = AddSwitch(InstalledVersion(kNewer));
  Launch({PortOf(sw)});
  ASSERT_TRUE(Expect("\n\nThis update is OLDER than the firmware inside the KLM8800T!\n"
                     "\n Current Version: 2.70, Model: KLM8800T"
                     "\n Update Version:  2.60, Model: KLM8800T"
                     "\n\nAre you sure you want to update with an OLDER version of firmware? (Y,N) "));
  session_->Type("N");
  EXPECT_EQ(PressKeyAndWait(), 1);
}

TEST_P(Update, ASwitchInItsBootRomIsIdentifiedFromItsTableAndUpdated) {
  VirtualSwitchProcess& sw = AddSwitch(Concat(InstalledVersion(kOlder), {"--isp-pin"}));
  std::string port = PortOf(sw);
  Launch({port});
  ASSERT_TRUE(Expect(FoundLine(port, "2.50")));
  ASSERT_TRUE(Expect("Continue with update to newer version? (Y,N) "));
  session_->Type("y");
  ASSERT_TRUE(Expect(ProgressLines(), 60000));
  EXPECT_EQ(PressKeyAndWait(), 1);
  sw.Stop();
  EXPECT_TRUE(FlashHoldsCarriedImage(sw.ReadFlash()));
}

INSTANTIATE_TEST_SUITE_P(Builds, Update, testing::Values(Build::kNative, Build::kWindows),
                         BuildName);
