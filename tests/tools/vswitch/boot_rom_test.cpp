// The switch as any client meets it, beyond what the utility's own tests see: the boot
// ROM's handshake and return codes byte for byte, baud rates that matter, data through
// RAM, flash that behaves as flash, the power-up rule, and a paced line.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>

#include "switch_test_fixture.h"

namespace {

using VirtualSwitch = SwitchOnALine;

TEST_F(VirtualSwitch, BootRomHandshakesByteForByte) {
  Start({"--erase"});
  OpenHost(115200);
  // A wrong sync string sends the ROM silently back to auto-baud.
  host_.Write("?");
  EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "Synchronized\r\n");
  host_.Write("Synchronised\r\n");
  EXPECT_EQ(host_.ReadFor(200), "Synchronised\r\n") << "echo, then nothing";
  // The utility's probe line: ESC and "^P$" are ignored in auto-baud, "?" is answered,
  // and the CR after it is echoed.
  host_.Write("\x1B^P$?\r");
  EXPECT_EQ(host_.ReadUntil("Synchronized\r\n\r", 2000), "Synchronized\r\n\r");
  host_.Write("Synchronized\r\n");
  EXPECT_EQ(host_.ReadUntil("OK\r\n", 2000), "Synchronized\r\nOK\r\n");
  host_.Write("O\r");
  EXPECT_EQ(host_.ReadUntil("OK\r\n", 2000), "O\rOK\r\n");
  host_.Write("A 0\r");
  EXPECT_EQ(host_.ReadUntil("0\r\n", 2000), "A 0\r0\r\n");
  host_.Write("J\r\n");
  EXPECT_EQ(host_.ReadUntil("2684471344\r\n0\r\n", 2000), "0\r\n2684471344\r\n0\r\n");
  // Already synchronised, echo off: the probe line is an unknown command; echo on, it
  // comes back up to its CR before the code.
  host_.Write("\x1B^P$?\r");
  EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "1\r\n");
  host_.Write("A 1\r\n");
  EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "0\r\n");
  host_.Write("\x1B^P$?\r");
  EXPECT_EQ(host_.ReadUntil("1\r\n", 2000), "^P$?\r1\r\n");
  host_.Write("\r\n");  // an empty line: echo, no answer
  EXPECT_EQ(host_.ReadFor(200), "\r\n");
}

TEST_F(VirtualSwitch, BytesAtTheWrongRateCarryNothingEitherWay) {
  auto options = Installed();
  // Replies come 300 ms late, so that the host can change its rate before they leave.
  options.insert(options.end(),
                 {"--no-progress", "--probe-status", "00", "--fault-slow-ms", "300"});
  Start(options);
  // The firmware listens at 19200 only; its answer leaves at 19200 too.
  OpenHost(115200);
  host_.Write("\x1B^P$?\r");
  EXPECT_EQ(Printable(host_.ReadFor(300)), "");
  ASSERT_TRUE(host_.SetBaud(19200));
  host_.Write("\x1B^P$*\r");
  EXPECT_EQ(host_.ReadUntil("$", 2000), "^=P00$");
  host_.Write("^BOOTL$");
  ASSERT_TRUE(switch_.WaitForLog("# 0 isp reset boot-rom"));
  // The boot ROM locks to the rate of "?": the same port at 19200 is noise to it...
  host_.Write("\x1B^P$*\r");
  EXPECT_EQ(host_.ReadFor(300), "");
  ASSERT_TRUE(host_.SetBaud(115200));
  ASSERT_TRUE(isp_.Connect());
  ASSERT_TRUE(host_.SetBaud(19200));
  host_.Write("J\r\n");
  EXPECT_EQ(Printable(host_.ReadFor(300)), "");
  // ...and a reply that leaves at 115200 while the host listens at 19200 is noise too.
  ASSERT_TRUE(host_.SetBaud(115200));
  host_.Write("\x1BJ\r\n");  // ESC drops the noise the ROM collected
  ASSERT_TRUE(switch_.WaitForLog("> 115200 isp J"));
  ASSERT_TRUE(host_.SetBaud(19200));
  std::string garbled = host_.ReadAny(3000);
  EXPECT_FALSE(garbled.empty());
  EXPECT_EQ(Printable(garbled), "");
}

TEST_F(VirtualSwitch, BootRomAnswersEachMistakeWithItsReturnCode) {
  Start({"--erase"});
  ConnectIsp();
  const struct {
    const char* line;
    const char* code;
  } cases[] = {
      {"E 0 0 0", "15"},
      {"G 436207616 T", "15"},
      {"U 1234", "16"},
      {"U", "12"},
      {"U 23130", "0"},
      {"X", "1"},
      {"JX", "1"},
      {"J 1", "12"},
      {"A 2", "12"},
      {"P 0 15 0", "7"},
      {"P 3 2 0", "7"},
      {"P 0 0 2", "20"},
      {"P 0  0 0", "12"},
      {"P 4294967296 0 0", "12"},
      {"E 0 0 0", "9"},
      {"W 268435457 4", "13"},
      {"W 268435456 3", "6"},
      {"W 268468220 8", "14"},
      {"R 0 4", "14"},
      {"R 436207618 4", "13"},
      {"C 436207616 268435458 512", "2"},
      {"C 436207620 268435456 512", "3"},
      {"C 436207616 268435456 256", "6"},
      {"C 436207616 536936448 512", "4"},
      {"C 436731392 268435456 4096", "5"},
      {"C 436207616 268435456 512", "9"},
      {"M 436207616 268435456 3", "6"},
      {"M 2 268435456 4", "13"},
      {"M 0 268435456 4", "14"},
      {"G 436207618 T", "13"},
      {"G 436207616 A", "12"},
      {"G 805306368 T", "14"},
      {"S 2", "20"},
      {"S 0", "21"},
      {"I 0 14 1", "0"},
      {"B 12345 1", "17"},
      {"B 115200 3", "18"},
  };
  for (const auto& c : cases) EXPECT_EQ(isp_.Command(c.line), c.code) << c.line;
}

TEST_F(VirtualSwitch, MovesDataThroughRamInChecksummedUuBlocks) {
  Start({"--erase"});
  ConnectIsp();
  // One W of 4000 bytes (five blocks of 20 lines, each with its checksum), one R back.
  std::vector<uint8_t> data = Pattern(4000, 0x11, 37);
  EXPECT_EQ(isp_.WriteRam(0x10000000u, data, 4000), "");
  std::vector<uint8_t> back;
  ASSERT_TRUE(isp_.ReadMemory(0x10000000u, 4000, &back, 4000));
  EXPECT_EQ(back, data);
  // A block whose checksum does not match is refused and not stored.
  EXPECT_EQ(isp_.Command("W 268443648 8"), "0");
  host_.Write("(`(``$`$!`!H`\r\n173\r\n");
  EXPECT_EQ(isp_.NextLine(), "RESEND");
  host_.Write("(`(``$`$!`!H`\r\n172\r\n");
  EXPECT_EQ(isp_.NextLine(), "OK");
  ASSERT_TRUE(isp_.ReadMemory(0x10002000u, 8, &back));
  EXPECT_EQ(back, std::vector<uint8_t>({0x00, 0x80, 0x00, 0x10, 0x01, 0x01, 0x00, 0x1A}));
}

TEST_F(VirtualSwitch, FlashBehavesAsFlashAndCountsItsDataSheetTimes) {
  Start({"--erase"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(1, 1), "");
  ASSERT_EQ(isp_.Program(0x1A002000u, std::vector<uint8_t>(512, 0xF0)), "");
  // Programming again without an erase can only clear bits.
  ASSERT_EQ(isp_.Program(0x1A002000u, std::vector<uint8_t>(512, 0x3C)), "");
  std::vector<uint8_t> cells;
  ASSERT_TRUE(isp_.ReadMemory(0x1A002000u, 512, &cells));
  EXPECT_EQ(cells, std::vector<uint8_t>(512, 0x30));
  // A copy re-locks its sector: the next one needs a new prepare.
  EXPECT_EQ(isp_.Command("C 436215808 268435456 512"), "9");
  // The RAM still holds 0x3C: the compare names the first differing word.
  EXPECT_EQ(isp_.Command("M 436215808 268435456 512"), "10");
  EXPECT_EQ(isp_.NextLine(), "0");
  ASSERT_EQ(isp_.Erase(1, 1), "");
  ASSERT_TRUE(isp_.ReadMemory(0x1A002000u, 512, &cells));
  EXPECT_EQ(cells, std::vector<uint8_t>(512, 0xFF));
  ASSERT_TRUE(switch_.Stop());
  EXPECT_NE(switch_.ReadStats().find("erase_ms 200\ncopy_ms 2\n"), std::string::npos)
      << switch_.ReadStats();
}

// The first 512 bytes of a payload: a vector table whose first eight words sum to zero
// when valid is true, and one off when not.
std::vector<uint8_t> VectorBlock(bool valid) {
  std::vector<uint8_t> block = Pattern(512, 7, 3);
  uint32_t words[8] = {0x10008000u, 0x1A000101u, 0x1A000201u, 0x1A000301u,
                       0x1A000401u, 0x1A000501u, 0x1A000601u, 0};
  for (int i = 0; i < 7; ++i) words[7] -= words[i];
  words[7] += valid ? 0 : 1;
  for (int i = 0; i < 8; ++i) PutLe32(block, 4 * static_cast<size_t>(i), words[i]);
  return block;
}

TEST_F(VirtualSwitch, PowerUpRunsTheFirmwareOnlyOverAValidVectorTable) {
  for (bool valid : {false, true}) {
    ASSERT_TRUE(switch_.Restart({"--erase", "--no-progress"})) << switch_.Error();
    ConnectIsp();
    ASSERT_EQ(isp_.Command("U 23130"), "0");
    ASSERT_EQ(isp_.Erase(0, 0), "");
    ASSERT_EQ(isp_.Program(0x1A000000u, VectorBlock(valid)), "");
    ASSERT_TRUE(switch_.Restart({"--no-progress"})) << switch_.Error();
    OpenHost(19200);
    host_.Write("\x1B^P$*\r");
    EXPECT_EQ(host_.ReadUntil("$", 1000), valid ? "^+$" : "") << valid;
  }
  // The ISP pin keeps the chip in its boot ROM over valid code.
  ASSERT_TRUE(switch_.Restart({"--isp-pin"})) << switch_.Error();
  ConnectIsp();
  // Over blank flash, G runs into nothing: the switch falls silent until power-up.
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(0, 0), "");
  ASSERT_EQ(isp_.Command("G 436207616 T"), "0");
  host_.Write("J\r\n");
  EXPECT_EQ(host_.ReadFor(300), "");
}

TEST_F(VirtualSwitch, PacedLineTakesAtLeastAsLongAsARealOne) {
  Start({"--erase", "--pace"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  // Only lower bounds: a paced switch may be slower than the line, never faster.
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(isp_.Erase(1, 1), "");
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(100));
  // 900 bytes come back as 20 UU lines and a checksum, about 1,270 characters: at ten
  // bits each and 115200 baud that is 110 ms.
  start = std::chrono::steady_clock::now();
  std::vector<uint8_t> cells;
  ASSERT_TRUE(isp_.ReadMemory(0x1A002000u, 900, &cells));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(105));
}

TEST_F(VirtualSwitch, BytesThatArriveWhileTheChipResetsIntoItsBootRomAreLost) {
  // "?" sent with "^BOOTL$" reaches the chip while it resets: with the reset's default
  // time it is lost, and counted; without a reset time the boot ROM takes it at once.
  struct Case {
    std::vector<std::string> resetOption;
    const char* lost;  // the loss event, or nothing
  } cases[] = {{{}, "# 0 isp lost-in-reset 1"}, {{"--reset-ms", "0"}, nullptr}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.resetOption.empty() ? "default" : "--reset-ms 0");
    std::vector<std::string> options = Installed();
    options.push_back("--no-progress");
    options.insert(options.end(), c.resetOption.begin(), c.resetOption.end());
    Start(options);
    ResetFirmwareIntoBootRom("^+$", "?");
    std::vector<std::string> log = switch_.LogLines();
    if (c.lost) {
      // Reported once the reset is over, just before the boot ROM listens.
      auto reset = std::find(log.begin(), log.end(), "# 0 isp reset boot-rom");
      ASSERT_NE(reset, log.begin());
      EXPECT_EQ(*(reset - 1), c.lost);
      // The boot ROM, up now, still waits for its "?".
      host_.Write("?");
      EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "Synchronized\r\n");
    } else {
      EXPECT_EQ(std::count_if(log.begin(), log.end(),
                              [](const std::string& l) { return l.find("lost") != l.npos; }),
                0);
      EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "Synchronized\r\n");
    }
    host_.Close();
    switch_.Stop();
  }
}

}  // namespace
