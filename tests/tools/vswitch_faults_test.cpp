// Faults on demand: each option makes the switch fail in the one way it names, so that
// a client's error paths can be driven from tests.
#include <gtest/gtest.h>

#include "image/crc32.h"
#include "image/firmware_image.h"
#include "switch_test_fixture.h"

namespace {

using VirtualSwitchFaults = SwitchOnALine;

TEST_F(VirtualSwitchFaults, CompareFaultReportsTheOffsetOfItsWord) {
  Start({"--erase", "--fault-compare", "0x10000012"});
  ConnectIsp();
  // RAM against itself: equal, except where the fault sits.
  EXPECT_EQ(isp_.Command("M 268435456 268435456 64"), "10");
  EXPECT_EQ(isp_.NextLine(), "16");
  EXPECT_EQ(isp_.Command("M 268435476 268435476 64"), "0");  // starts past the address
  EXPECT_EQ(isp_.Command("M 268435456 268435456 16"), "0");  // ends before it
}

// The worked example of a W: 8 bytes whose sum is 172.
const char kEightBytes[] = "(`(``$`$!`!H`\r\n172\r\n";
const std::vector<uint8_t> kEightBytesValue = {0x00, 0x80, 0x00, 0x10, 0x01, 0x01, 0x00, 0x1A};

TEST_F(VirtualSwitchFaults, ResendOnceRefusesOnlyTheFirstChecksum) {
  Start({"--erase", "--fault-resend", "once"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("W 268435456 8"), "0");
  host_.Write(kEightBytes);
  EXPECT_EQ(isp_.NextLine(), "RESEND");
  host_.Write(kEightBytes);  // the same block again
  EXPECT_EQ(isp_.NextLine(), "OK");
  std::vector<uint8_t> back;
  ASSERT_TRUE(isp_.ReadMemory(0x10000000u, 8, &back));
  EXPECT_EQ(back, kEightBytesValue);
}

TEST_F(VirtualSwitchFaults, ResendAlwaysNeverLetsDataIn) {
  Start({"--erase", "--fault-resend", "always"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("W 268435456 8"), "0");
  for (int i = 0; i < 3; ++i) {
    host_.Write(kEightBytes);
    EXPECT_EQ(isp_.NextLine(), "RESEND");
  }
  // ESC gives up the transfer; RAM never received the block.
  EXPECT_EQ(isp_.Command("\x1BJ"), "0");
  EXPECT_EQ(isp_.NextLine(), "2684471344");
  EXPECT_EQ(isp_.NextLine(), "0");
  std::vector<uint8_t> back;
  ASSERT_TRUE(isp_.ReadMemory(0x10000000u, 8, &back));
  EXPECT_EQ(back, std::vector<uint8_t>(8, 0));
}

TEST_F(VirtualSwitchFaults, RefusesACommandOnItsKthUseOrEveryUse) {
  Start({"--erase", "--fault-refuse", "P:2", "--fault-refuse", "J=19"});
  ConnectIsp();
  EXPECT_EQ(isp_.Command("P 0 0 0"), "0");
  EXPECT_EQ(isp_.Command("P 0 0 0"), "7");
  EXPECT_EQ(isp_.Command("P 0 0 0"), "0");
  EXPECT_EQ(isp_.Command("J"), "19");
  EXPECT_EQ(isp_.Command("J"), "19");
  EXPECT_EQ(isp_.Command("K"), "0");
}

TEST_F(VirtualSwitchFaults, PowerLossDuringWriteKeepsWhatFlashHeld) {
  // The first 4096 bytes go through (five W commands); the next W loses power after
  // 100 more bytes.
  Start({"--erase", "--fault-silence-after-w-bytes", "4196"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(1, 1), "");
  ASSERT_EQ(isp_.Program(0x1A002000u, Pattern(4096, 5)), "");
  ASSERT_EQ(isp_.Command("W 268435456 900"), "0");
  std::string lines;
  for (int i = 0; i < 20; ++i) lines += "M" + std::string(60, '`') + "\r\n";
  host_.Write(lines + "0\r\n");
  host_.Write("J\r\n");
  EXPECT_EQ(host_.ReadFor(300), "") << "nothing answers any more";
  switch_.Kill();

  std::vector<uint8_t> flash = switch_.ReadFlash();
  ASSERT_EQ(flash.size(), 1024u * 1024u);
  EXPECT_EQ(std::vector<uint8_t>(flash.begin() + 0x2000, flash.begin() + 0x3000), Pattern(4096, 5));
  // Power comes back: the boot ROM answers and reads the same flash.
  ASSERT_TRUE(switch_.Restart({})) << switch_.Error();
  ConnectIsp();
  std::vector<uint8_t> cells;
  ASSERT_TRUE(isp_.ReadMemory(0x1A002000u, 4096, &cells));
  EXPECT_EQ(cells, Pattern(4096, 5));
}

TEST_F(VirtualSwitchFaults, PowerLossAfterACopyComesBeforeItsStatus) {
  Start({"--erase", "--fault-silence-after-copy", "2"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(1, 1), "");
  ASSERT_EQ(isp_.Program(0x1A002000u, Pattern(512, 1)), "");
  ASSERT_EQ(isp_.WriteRam(0x10000000u, Pattern(512, 2)), "");
  ASSERT_EQ(isp_.Command("P 1 1 0"), "0");
  EXPECT_EQ(isp_.Command("C 436216320 268435456 512"), "");  // no status at all
  switch_.Kill();
  std::vector<uint8_t> flash = switch_.ReadFlash();
  ASSERT_EQ(flash.size(), 1024u * 1024u);
  // The second copy was made before the power went.
  EXPECT_EQ(std::vector<uint8_t>(flash.begin() + 0x2200, flash.begin() + 0x2400), Pattern(512, 2));
}

TEST_F(VirtualSwitchFaults, NoiseBytesComeAheadOfEveryLine) {
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

// The parameter table as the boot ROM reads it back.
std::vector<uint8_t> ReadTable(IspHost& isp) {
  std::vector<uint8_t> table;
  EXPECT_TRUE(isp.ReadMemory(0x1A07FE00u, 512, &table));
  table.resize(512);
  return table;
}

bool TableCrcHolds(const std::vector<uint8_t>& table) {
  return Crc32Update(0xFFFFFFFFu, table.data(), sizeof(ParameterTable)) == kCrc32Residue;
}

TEST_F(VirtualSwitchFaults, TableFaultsDamageTheInstalledTable) {
  auto installed = Installed();
  auto with = [&](std::vector<std::string> extra) {
    std::vector<std::string> options = installed;
    options.push_back("--isp-pin");
    options.insert(options.end(), extra.begin(), extra.end());
    return options;
  };
  Start(with({}));
  ConnectIsp();
  std::vector<uint8_t> good = ReadTable(isp_);
  EXPECT_EQ(ReadLe32(&good[40]), kTableMagic);
  EXPECT_TRUE(TableCrcHolds(good));
  std::vector<uint8_t> checkRegion;
  ASSERT_TRUE(isp_.ReadMemory(ReadLe32(&good[52]), ReadLe32(&good[56]), &checkRegion));
  EXPECT_EQ(Crc32(checkRegion.data(), checkRegion.size()), ReadLe32(&good[60]));

  ASSERT_TRUE(switch_.Restart(with({"--table", "blank"})));
  ConnectIsp();
  EXPECT_EQ(ReadTable(isp_), std::vector<uint8_t>(512, 0xFF));

  ASSERT_TRUE(switch_.Restart(with({"--table", "old"})));
  ConnectIsp();
  std::vector<uint8_t> old = ReadTable(isp_);
  EXPECT_EQ(ReadLe32(&old[40]), kTableMagicOld);
  EXPECT_TRUE(TableCrcHolds(old));

  ASSERT_TRUE(switch_.Restart(with({"--table", "bad-crc"})));
  ConnectIsp();
  std::vector<uint8_t> badCrc = ReadTable(isp_);
  EXPECT_FALSE(TableCrcHolds(badCrc));
  EXPECT_TRUE(std::equal(good.begin(), good.begin() + 140, badCrc.begin()));

  ASSERT_TRUE(switch_.Restart(with({"--table", "check-crc", "--table-check-length", "4097"})));
  ConnectIsp();
  std::vector<uint8_t> check = ReadTable(isp_);
  EXPECT_TRUE(TableCrcHolds(check));
  EXPECT_EQ(ReadLe32(&check[56]), 4097u);
  EXPECT_EQ(ReadLe32(&check[60]), ~ReadLe32(&good[60]));
}

TEST_F(VirtualSwitchFaults, BadOptionsAreRefusedAtStart) {
  for (std::vector<std::string> bad : {std::vector<std::string>{"--fault-refuse", "p"},
                                       {"--fault-refuse", "P:0"},
                                       {"--fault-resend", "twice"},
                                       {"--table", "torn"},
                                       {"--probe-status", "0"}}) {
    switch_.SetOptions(bad);
    EXPECT_FALSE(switch_.Start()) << bad[0] << " " << bad[1];
  }
}

}  // namespace
