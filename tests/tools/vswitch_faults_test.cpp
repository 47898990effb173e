// Faults on demand: each option makes the switch fail in the one way it names.
#include <gtest/gtest.h>

#include "switch_test_fixture.h"

namespace {

using VirtualSwitchFaults = SwitchOnALine;

// The worked example of a W: 8 bytes whose sum is 172.
const char kEightBytes[] = "(`(``$`$!`!H`\r\n172\r\n";

TEST_F(VirtualSwitchFaults, CompareFaultReportsTheOffsetOfItsWord) {
  Start({"--erase", "--fault-compare", "0x10000012"});
  ConnectIsp();
  // RAM against itself: equal, except where the fault sits.
  EXPECT_EQ(isp_.Command("M 268435456 268435456 64"), "10");
  EXPECT_EQ(isp_.NextLine(), "16");
  EXPECT_EQ(isp_.Command("M 268435476 268435476 64"), "0");  // starts past the address
}

TEST_F(VirtualSwitchFaults, ResendAndRefusalStrikeOnlyWhereTheyAreAimed) {
  Start({"--erase", "--fault-resend", "2", "--fault-refuse", "P:2", "--fault-refuse", "J=19"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("W 268435456 8"), "0");
  host_.Write(kEightBytes);
  EXPECT_EQ(isp_.NextLine(), "OK");
  ASSERT_EQ(isp_.Command("W 268435456 8"), "0");
  host_.Write(kEightBytes);
  EXPECT_EQ(isp_.NextLine(), "RESEND");
  host_.Write(kEightBytes);  // the same block again
  EXPECT_EQ(isp_.NextLine(), "OK");
  EXPECT_EQ(isp_.Command("P 0 0 0"), "0");
  EXPECT_EQ(isp_.Command("P 0 0 0"), "7");
  EXPECT_EQ(isp_.Command("P 0 0 0"), "0");
  EXPECT_EQ(isp_.Command("J"), "19");
  EXPECT_EQ(isp_.Command("J"), "19");
}

TEST_F(VirtualSwitchFaults, PowerLossKeepsWhatFlashHeld) {
  // The first block goes through; the next W loses power after 100 more bytes.
  Start({"--erase", "--fault-silence-after-w-bytes", "612"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(1, 1), "");
  ASSERT_EQ(isp_.Program(0x1A002000u, Pattern(512, 5)), "");
  ASSERT_EQ(isp_.Command("W 268435456 900"), "0");
  std::string lines;
  for (int i = 0; i < 20; ++i) lines += "M" + std::string(60, '`') + "\r\n";
  host_.Write(lines + "0\r\nJ\r\n");
  EXPECT_EQ(host_.ReadFor(300), "") << "nothing answers any more";
  // Power comes back: the boot ROM reads the same flash.
  ASSERT_TRUE(switch_.Restart({})) << switch_.Error();
  ConnectIsp();
  std::vector<uint8_t> cells;
  ASSERT_TRUE(isp_.ReadMemory(0x1A002000u, 512, &cells));
  EXPECT_EQ(cells, Pattern(512, 5));
}

TEST_F(VirtualSwitchFaults, PowerLossAfterACopyComesBeforeItsStatus) {
  Start({"--erase", "--fault-silence-after-copy", "1"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(1, 1), "");
  ASSERT_EQ(isp_.WriteRam(0x10000000u, Pattern(512, 2)), "");
  ASSERT_EQ(isp_.Command("P 1 1 0"), "0");
  host_.Write("C 436215808 268435456 512\r\n");
  EXPECT_EQ(host_.ReadFor(300), "") << "no status at all";
  switch_.Kill();
  std::vector<uint8_t> flash = switch_.ReadFlash();
  ASSERT_EQ(flash.size(), 1024u * 1024u);
  EXPECT_EQ(std::vector<uint8_t>(flash.begin() + 0x2000, flash.begin() + 0x2200), Pattern(512, 2));
}

TEST_F(VirtualSwitchFaults, NoiseComesAheadOfEveryLine) {
  auto options = Installed();
  options.insert(options.end(), {"--no-progress", "--noise", "4"});
  Start(options);
  OpenHost(19200);
  EXPECT_EQ(Printable(host_.ReadFor(200)), "");  // what is left of the power-up noise
  host_.Write("\x1B^P$*\r");
  std::string reply = host_.ReadUntil("$", 2000);
  EXPECT_EQ(reply.size(), 7u);
  EXPECT_EQ(Printable(reply), "^+$");
}

TEST_F(VirtualSwitchFaults, SlowStatusArrivesLate) {
  Start({"--erase", "--fault-slow-ms", "600"});
  ConnectIsp();
  host_.Write("J\r\n");
  EXPECT_EQ(host_.ReadFor(250), "");
  EXPECT_EQ(isp_.NextLine(), "0");
}

TEST_F(VirtualSwitchFaults, BadOptionsAreRefusedAtStart) {
  for (std::vector<std::string> bad : {std::vector<std::string>{"--fault-refuse", "p"},
                                       {"--fault-refuse", "P:0"},
                                       {"--fault-resend", "twice"},
                                       {"--interrupt", "0:power"},
                                       {"--interrupt", "5:pull"},
                                       {"--table", "torn"},
                                       {"--probe-status", "0"}}) {
    switch_.SetOptions(bad);
    EXPECT_FALSE(switch_.Start()) << bad[0] << " " << bad[1];
  }
}

}  // namespace
