// Interruption points: the switch numbers every moment at which an update can be cut
// short, and --interrupt cuts it there by power, by freezing, or by a reply gone wrong.
#include <gtest/gtest.h>

#include "switch_test_fixture.h"

namespace {

using Interruption = SwitchOnALine;

// One W of 8 bytes: its command, then one UU line and the checksum (the bytes sum to 172).
const char kWrite8[] = "W 268435456 8";
const char kEightBytes[] = "(`(``$`$!`!H`\r\n172\r\n";

// The points an ISP session passes, in order: the handshake, U, a W of 8 bytes, the
// prepare and erase of sector 1, and a read of 4 bytes from it.
const char* const kSessionPoints[] = {
    "line ?",
    "line Synchronized",
    "line 12000",
    "line A 0",
    "line U 23130",
    "line W 268435456 8",
    "w-data W 268435456 8, 8 bytes in",
    "line P 1 1 0",
    "line E 1 1 0",
    "flash erase 0 1-1",
    "line R 436215808 4",
};

// The session's first count points as the log records them, numbered from first.
std::vector<std::string> SessionPoints(size_t count, uint32_t first = 1) {
  std::vector<std::string> records;
  for (size_t i = 0; i < count; ++i) {
    records.push_back("point " + std::to_string(first + i) + " " + kSessionPoints[i]);
  }
  return records;
}

// The point records of the switch's log, without their direction, rate and persona.
std::vector<std::string> Points(const VirtualSwitchProcess& sw) {
  std::vector<std::string> points;
  for (const std::string& line : sw.LogLines()) {
    // "# <baud> <persona> point ...": the text after the third blank.
    size_t at = line.find(' ', line.find(' ', 2) + 1);
    if (line[0] == '#' && line.compare(at + 1, 6, "point ") == 0) {
      points.push_back(line.substr(at + 1));
    }
  }
  return points;
}

bool AllNoise(const std::string& bytes) {
  for (char c : bytes) {
    if (static_cast<uint8_t>(c) < 0x80) return false;
  }
  return !bytes.empty();
}

TEST_F(Interruption, PointsCountLinesHalfWaysAndFlashChangesFromPowerUp) {
  auto options = Installed();
  options.insert(options.end(), {"--log-points", "--no-progress"});
  Start(options);
  ResetFirmwareIntoBootRom();
  ASSERT_TRUE(host_.SetBaud(115200));
  ASSERT_TRUE(isp_.Connect());
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.WriteRam(0x10000000u, Pattern(8, 0)), "");
  // Bytes at a rate the ROM does not listen at make no line, even with a line end after.
  ASSERT_TRUE(host_.SetBaud(19200));
  host_.Write("J");
  ASSERT_TRUE(switch_.WaitForLog("# 115200 isp garbled-in"));
  ASSERT_TRUE(host_.SetBaud(115200));
  EXPECT_EQ(isp_.Command(""), "1");
  ASSERT_EQ(isp_.Erase(1, 1), "");
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(isp_.ReadMemory(0x1A002000u, 4, &bytes));
  ASSERT_TRUE(switch_.Stop());
  std::vector<std::string> expected = {"point 1 line ^P$", "point 2 line ^BOOTL$"};
  for (const std::string& record : SessionPoints(11, 3)) expected.push_back(record);
  EXPECT_EQ(Points(switch_), expected);
}

TEST_F(Interruption, PowerLossAtALineComesBeforeTheSwitchActsOnIt) {
  auto options = Installed();
  options.insert(options.end(), {"--isp-pin", "--log-points", "--interrupt", "9:power"});
  Start(options);
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.WriteRam(0x10000000u, Pattern(8, 0)), "");
  ASSERT_EQ(isp_.Command("P 1 1 0"), "0");
  host_.Write("E 1 1 0\r\nJ\r\n");
  EXPECT_EQ(host_.ReadFor(300), "") << "nothing answers any more";
  switch_.Kill();
  EXPECT_EQ(Points(switch_), SessionPoints(9));
  std::vector<uint8_t> flash = switch_.ReadFlash();
  ASSERT_EQ(flash.size(), 1024u * 1024u);
  EXPECT_NE(std::vector<uint8_t>(flash.begin() + 0x2000, flash.begin() + 0x2010),
            std::vector<uint8_t>(16, 0xFF))
      << "the sector still holds the firmware";
}

TEST_F(Interruption, HoldFreezesTheSwitchUntilItIsReleased) {
  Start({"--erase", "--log-points", "--interrupt", "10:hold"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.WriteRam(0x10000000u, Pattern(8, 0)), "");
  ASSERT_EQ(isp_.Command("P 1 1 0"), "0");
  host_.Write("E 1 1 0\r\nK\r\n");
  ASSERT_TRUE(switch_.WaitForLog("# 115200 isp hold 10"));
  EXPECT_EQ(host_.ReadFor(300), "") << "a held switch neither answers nor reads";
  switch_.Release();
  // It carries on where it stopped: the erase's status, then the answer to what the host
  // sent meanwhile.
  EXPECT_EQ(isp_.NextLine(), "0");
  EXPECT_EQ(isp_.NextLine(), "0");
  EXPECT_EQ(isp_.NextLine(), "7");
  EXPECT_EQ(isp_.NextLine(), "1");
  EXPECT_EQ(isp_.Command("R 436215808 4"), "0");
  ASSERT_TRUE(switch_.WaitForLog("# 115200 isp release 10"));
}

TEST_F(Interruption, ReplySpoilsTheAnswerToWhatReachedThePoint) {
  // "?": the ROM synchronises, but its answer arrives as noise.
  Start({"--erase", "--log-points", "--interrupt", "1:reply"});
  OpenHost(115200);
  host_.Write("?");
  std::string answer = host_.ReadUntil("\r\n", 2000);
  ASSERT_EQ(answer.size(), 14u);
  EXPECT_TRUE(AllNoise(answer.substr(0, 12))) << answer;
  host_.Write("Synchronized\r\n");
  EXPECT_EQ(host_.ReadUntil("OK\r\n", 2000), "Synchronized\r\nOK\r\n");

  // A command: refused with its typical code and not carried out (still locked).
  ASSERT_TRUE(switch_.Restart({"--erase", "--log-points", "--interrupt", "5:reply"}));
  ConnectIsp();
  EXPECT_EQ(isp_.Command("U 23130"), "16");
  ASSERT_EQ(isp_.WriteRam(0x10000000u, Pattern(8, 0)), "");
  ASSERT_EQ(isp_.Command("P 1 1 0"), "0");
  EXPECT_EQ(isp_.Command("E 1 1 0"), "15");
  EXPECT_EQ(Points(switch_), SessionPoints(9)) << "numbered as without the fault";

  // Half way through a W's data: its checksum is answered RESEND.
  ASSERT_TRUE(switch_.Restart({"--erase", "--interrupt", "7:reply"}));
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Command(kWrite8), "0");
  host_.Write(kEightBytes);
  EXPECT_EQ(isp_.NextLine(), "RESEND");
  host_.Write(kEightBytes);
  EXPECT_EQ(isp_.NextLine(), "OK");

  // After an erase: the sector is erased, its status arrives as noise.
  auto options = Installed();
  options.insert(options.end(), {"--isp-pin", "--interrupt", "10:reply"});
  ASSERT_TRUE(switch_.Restart(options));
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.WriteRam(0x10000000u, Pattern(8, 0)), "");
  ASSERT_EQ(isp_.Command("P 1 1 0"), "0");
  host_.Write("E 1 1 0\r\n");
  answer = host_.ReadUntil("\r\n", 2000);
  EXPECT_EQ(answer.size(), 3u);
  EXPECT_TRUE(AllNoise(answer.substr(0, 1))) << answer;
  std::vector<uint8_t> cells;
  ASSERT_TRUE(isp_.ReadMemory(0x1A002000u, 8, &cells));
  EXPECT_EQ(cells, std::vector<uint8_t>(8, 0xFF));

  // A firmware frame: answered with noise up to its "$".
  options = Installed();
  options.insert(options.end(), {"--no-progress", "--interrupt", "1:reply"});
  ASSERT_TRUE(switch_.Restart(options));
  OpenHost(19200);
  host_.Write("\x1B^P$*\r");
  answer = host_.ReadUntil("$", 2000);
  ASSERT_EQ(answer.size(), 3u);
  EXPECT_TRUE(AllNoise(answer.substr(0, 2))) << answer;
  host_.Write("\x1B^P$*\r");
  EXPECT_EQ(host_.ReadUntil("$", 2000), "^+$");
}

}  // namespace
