// The boot ROM as clients meet it: auto-baud and the handshake byte for byte, echo,
// return codes, data transfer, flash that behaves as flash, and the power-up rule.
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "image/crc32.h"
#include "switch_test_fixture.h"

namespace {

using VirtualSwitchBootRom = SwitchOnALine;

// The first 512 bytes of a payload: a vector table whose first eight words sum to
// zero when valid is true, and one off when not.
std::vector<uint8_t> VectorBlock(bool valid) {
  std::vector<uint8_t> block = Pattern(512, 7, 3);
  uint32_t words[8] = {0x10008000u, 0x1A000101u, 0x1A000201u, 0x1A000301u,
                       0x1A000401u, 0x1A000501u, 0x1A000601u, 0};
  uint32_t sum = 0;
  for (int i = 0; i < 7; ++i) sum += words[i];
  words[7] = 0u - sum + (valid ? 0 : 1);
  for (int i = 0; i < 8; ++i) PutLe32(block, 4 * static_cast<size_t>(i), words[i]);
  return block;
}

TEST_F(VirtualSwitchBootRom, HandshakesExactlyAsTheUtilityExpects) {
  Start({"--erase"});
  OpenHost(115200);
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
  EXPECT_EQ(host_.ReadUntil("0\r\n2684471344\r\n0\r\n", 2000), "0\r\n2684471344\r\n0\r\n");
  // Already synchronised, echo off: the probe line is an unknown command.
  host_.Write("\x1B^P$?\r");
  EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "1\r\n");
  host_.Write("A 1\r\n");
  EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "0\r\n");
  // Echo on: the probe comes back up to its CR, then the code.
  host_.Write("\x1B^P$?\r");
  EXPECT_EQ(host_.ReadUntil("1\r\n", 2000), "^P$?\r1\r\n");
  host_.Write("K\r\n");
  EXPECT_EQ(host_.ReadUntil("1\r\n", 2000), "K\r\n0\r\n7\r\n1\r\n");
  host_.Write("\r\n");  // an empty line: echo, no answer
  EXPECT_EQ(host_.ReadFor(200), "\r\n");
  host_.Write("N\r\n");
  std::string serial = host_.ReadUntil("42405\r\n", 2000);
  EXPECT_EQ(serial, "N\r\n0\r\n218828303\r\n305419896\r\n2596069104\r\n42405\r\n");
}

TEST_F(VirtualSwitchBootRom, WrongSyncStringReturnsSilentlyToAutoBaud) {
  Start({"--erase"});
  OpenHost(115200);
  host_.Write("?");
  EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "Synchronized\r\n");
  host_.Write("Synchronised\r\n");
  EXPECT_EQ(host_.ReadFor(300), "Synchronised\r\n") << "echo, then nothing";
  host_.Write("J\r\n");  // auto-baud again: ignored
  EXPECT_EQ(host_.ReadFor(200), "");
  host_.Write("?");
  EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "Synchronized\r\n");
}

TEST_F(VirtualSwitchBootRom, ProbeAtTheWrongRateGetsNothingUsable) {
  Start({"--erase", "--fault-slow-ms", "300"});
  OpenHost(19200);
  // The firmware's probe at 19200 means nothing to a ROM waiting for "?".
  host_.Write("\x1B^P$*\r");
  EXPECT_EQ(host_.ReadFor(300), "");
  ASSERT_TRUE(host_.SetBaud(115200));
  ASSERT_TRUE(isp_.Connect());
  // Locked at 115200: the same port at 19200 is noise to the ROM.
  ASSERT_TRUE(host_.SetBaud(19200));
  host_.Write("\x1B^P$*\r");
  host_.Write("J\r\n");
  EXPECT_EQ(Printable(host_.ReadFor(700)), "");
  // A reply that leaves at 115200 while the host has moved to 19200 is garbage too.
  ASSERT_TRUE(host_.SetBaud(115200));
  host_.Write("\x1BJ\r\n");  // ESC drops the noise the ROM collected
  ASSERT_TRUE(switch_.WaitForLog("> 115200 isp J"));
  ASSERT_TRUE(host_.SetBaud(19200));
  std::string garbled = host_.ReadFor(700);
  EXPECT_FALSE(garbled.empty());
  EXPECT_EQ(Printable(garbled), "");
  ASSERT_TRUE(host_.SetBaud(115200));
  EXPECT_EQ(isp_.Command("\x1BJ"), "0");
  EXPECT_EQ(isp_.NextLine(), "2684471344");
}

TEST_F(VirtualSwitchBootRom, AnswersEachMistakeWithItsReturnCode) {
  Start({"--erase"});
  ConnectIsp();
  const struct {
    const char* line;
    const char* code;
  } locked[] = {{"E 0 0 0", "15"},
                {"C 436207616 268435456 512", "15"},
                {"G 436207616 T", "15"},
                {"U 1234", "16"},
                {"U", "12"},
                {"U 23130", "0"}};
  for (const auto& c : locked) EXPECT_EQ(isp_.Command(c.line), c.code) << c.line;
  const struct {
    const char* line;
    const char* code;
  } cases[] = {
      {"X", "1"},
      {"JX", "1"},
      {"j", "1"},
      {"J 1", "12"},
      {"A 2", "12"},
      {"P 0 15 0", "7"},
      {"P 3 2 0", "7"},
      {"P 0 0 2", "20"},
      {"P 0 0", "12"},
      {"P 0  0 0", "12"},
      {"P 0 0 0 ", "12"},
      {"P a 0 0", "12"},
      {"P 4294967296 0 0", "12"},
      {"E 0 0 0", "9"},
      {"W 268435457 4", "13"},
      {"W 268435456 3", "6"},
      {"W 0 4", "14"},
      {"W 268468220 8", "14"},  // runs past the end of the 32 KB block
      {"R 0 4", "14"},          // address 0 is flash only with the zero alias
      {"R 436207618 4", "13"},
      {"C 436207616 268435458 512", "2"},
      {"C 436207620 268435456 512", "3"},
      {"C 436207616 268435456 256", "6"},
      {"C 436207616 536936448 512", "4"},
      {"C 8192 268435456 512", "5"},
      {"C 436731392 268435456 4096", "5"},  // runs past the end of bank A
      {"C 436207616 268435456 512", "9"},
      {"M 436207616 268435456 3", "6"},
      {"M 2 268435456 4", "13"},
      {"M 0 268435456 4", "14"},
      {"G 436207618 T", "13"},
      {"G 436207616 A", "12"},
      {"G 805306368 T", "14"},
      {"S 2", "20"},
      {"S 0", "21"},  // no valid code in bank A
      {"B 12345 1", "17"},
      {"B 115200 3", "18"},
      {"I 0 14 1", "0"},
  };
  for (const auto& c : cases) EXPECT_EQ(isp_.Command(c.line), c.code) << c.line;
}

TEST_F(VirtualSwitchBootRom, MovesDataThroughRamInUuBlocks) {
  Start({"--erase"});
  ConnectIsp();
  std::vector<uint8_t> data = Pattern(4000, 0x11, 37);
  // One W of 4000 bytes (five blocks of 20 lines, each with its checksum), read back
  // with one R.
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

TEST_F(VirtualSwitchBootRom, FlashBehavesAsFlash) {
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
  // The flash file holds what the chip holds, bank A from its start.
  ASSERT_TRUE(switch_.Stop());
  std::vector<uint8_t> file = switch_.ReadFlash();
  ASSERT_EQ(file.size(), 1024u * 1024u);
  EXPECT_EQ(file[0x2000], 0xFF);
}

TEST_F(VirtualSwitchBootRom, PowerUpRunsTheFirmwareOnlyOverAValidVectorTable) {
  Start({"--erase"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(0, 0), "");
  ASSERT_EQ(isp_.Program(0x1A000000u, VectorBlock(false)), "");

  // Words 0 to 7 do not sum to zero: the chip stays in the boot ROM.
  ASSERT_TRUE(switch_.Restart({"--no-progress"})) << switch_.Error();
  ASSERT_TRUE(host_.Open(switch_.LinkPath(), 19200));
  host_.Write("\x1B^P$*\r");
  EXPECT_EQ(host_.ReadFor(300), "");
  ASSERT_TRUE(host_.SetBaud(115200));
  ASSERT_TRUE(isp_.Connect());
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(0, 0), "");
  ASSERT_EQ(isp_.Program(0x1A000000u, VectorBlock(true)), "");
  EXPECT_EQ(isp_.Command("S 0"), "0");

  // Now it boots into the firmware...
  ASSERT_TRUE(switch_.Restart({"--no-progress"})) << switch_.Error();
  ASSERT_TRUE(host_.Open(switch_.LinkPath(), 19200));
  host_.Write("\x1B^P$*\r");
  EXPECT_EQ(host_.ReadUntil("$", 2000), "^+$");
  // ...unless the ISP pin is held.
  ASSERT_TRUE(switch_.Restart({"--no-progress", "--isp-pin"})) << switch_.Error();
  ASSERT_TRUE(host_.Open(switch_.LinkPath(), 115200));
  host_.Write("?");
  EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "Synchronized\r\n");
}

TEST_F(VirtualSwitchBootRom, GoStartsTheFirmwareWhenFlashHoldsCode) {
  auto options = Installed();
  options.insert(options.end(), {"--isp-pin", "--boot-ms", "300", "--dsp-banks", "1",
                                 "--dsp-step-ms", "1"});
  Start(options);
  ConnectIsp();
  EXPECT_EQ(isp_.Command("G 436262832 T"), "15");  // not unlocked yet
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Command("G 436262832 T"), "0");
  ASSERT_TRUE(host_.SetBaud(19200));
  EXPECT_NE(host_.ReadUntil("^=P$", 3000).find("^!100 1 5$^=P$"), std::string::npos);

  // Over blank flash the jump goes nowhere: the switch falls silent.
  ASSERT_TRUE(switch_.Restart({"--erase"})) << switch_.Error();
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Command("G 436207616 T"), "0");
  host_.Write("J\r\n");
  EXPECT_EQ(host_.ReadFor(300), "");
}

TEST_F(VirtualSwitchBootRom, ZeroAliasLetsFlashBeAddressedFromZero) {
  Start({"--erase", "--zero-alias"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(1, 1), "");
  ASSERT_EQ(isp_.WriteRam(0x10000000u, Pattern(512, 1)), "");
  ASSERT_EQ(isp_.Command("P 1 1 0"), "0");
  EXPECT_EQ(isp_.Command("C 8192 268435456 512"), "0");
  EXPECT_EQ(isp_.Command("M 8192 268435456 512"), "0");
  EXPECT_EQ(isp_.Command("M 436215808 268435456 512"), "0");
  std::vector<uint8_t> cells;
  ASSERT_TRUE(isp_.ReadMemory(8192, 512, &cells));
  EXPECT_EQ(cells, Pattern(512, 1));
}

TEST_F(VirtualSwitchBootRom, LogsEveryLineWithItsRateAndPersona) {
  auto options = Installed();
  options.insert(options.end(), {"--no-progress"});
  Start(options);
  OpenHost(19200);
  host_.Write("\x1B^P$*\r");
  EXPECT_EQ(host_.ReadUntil("$", 2000), "^+$");
  host_.Write("^BOOTL$");
  ASSERT_TRUE(switch_.WaitForLog("# 0 isp reset boot-rom"));
  ASSERT_TRUE(host_.SetBaud(115200));
  ASSERT_TRUE(isp_.Connect());
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.WriteRam(0x10000000u, Pattern(8, 0)), "");
  ASSERT_TRUE(switch_.Stop());

  std::vector<std::string> lines = switch_.LogLines();
  std::regex format(R"(^[<>#] \d+ (isp|data|fw|line|off) .*$)");
  for (const auto& line : lines) EXPECT_TRUE(std::regex_match(line, format)) << line;
  std::vector<std::string> expected = {
      "# 19200 fw power-up firmware", "> 19200 fw ^P$",           "< 19200 fw ^+$",
      "> 19200 fw ^BOOTL$",           "# 0 isp reset boot-rom",   "> 115200 isp ?",
      "< 115200 isp Synchronized",    "> 115200 isp Synchronized", "< 115200 isp OK",
      "> 115200 isp 12000",           "< 115200 isp OK",          "> 115200 isp A 0",
      "< 115200 isp 0",               "> 115200 isp U 23130",     "< 115200 isp 0",
      "> 115200 isp W 268435456 8",   "< 115200 isp 0",           "> 115200 data (``$\"`P0%!@<`",
      "> 115200 data 28",             "< 115200 data OK"};
  EXPECT_EQ(lines, expected);
  std::string stats = switch_.ReadStats();
  EXPECT_NE(stats.find("bytes_in "), std::string::npos) << stats;
  EXPECT_NE(stats.find("erase_ms 0\ncopy_ms 0\n"), std::string::npos) << stats;
}

TEST_F(VirtualSwitchBootRom, CountsBytesAndDataSheetFlashTimes) {
  Start({"--erase"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(1, 2), "");
  ASSERT_EQ(isp_.Program(0x1A002000u, Pattern(4096, 9)), "");
  ASSERT_TRUE(switch_.Stop());
  std::string stats = switch_.ReadStats();
  EXPECT_NE(stats.find("erase_ms 100\ncopy_ms 8\n"), std::string::npos) << stats;
  unsigned long in = 0, out = 0;
  ASSERT_EQ(sscanf(stats.c_str(), "bytes_in %lu\nbytes_out %lu", &in, &out), 2) << stats;
  EXPECT_GT(in, 4096u * 4 / 3);  // UU costs four characters per three bytes
  EXPECT_GT(out, 0u);
}

TEST_F(VirtualSwitchBootRom, PacedLineTakesAtLeastAsLongAsARealOne) {
  Start({"--erase", "--pace"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  // Only lower bounds: a paced switch may be slower than the line, never faster.
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(isp_.Erase(1, 1), "");
  auto erase = std::chrono::steady_clock::now() - start;
  EXPECT_GE(erase, std::chrono::milliseconds(100)) << "the data sheet's erase time";

  // 900 bytes come back as 20 UU lines and a checksum, about 1,270 characters: at ten
  // bits each and 115200 baud that is 110 ms.
  start = std::chrono::steady_clock::now();
  std::vector<uint8_t> cells;
  ASSERT_TRUE(isp_.ReadMemory(0x1A002000u, 900, &cells));
  auto read = std::chrono::steady_clock::now() - start;
  EXPECT_GE(read, std::chrono::milliseconds(105));
  EXPECT_EQ(cells, std::vector<uint8_t>(900, 0xFF));
}

}  // namespace
