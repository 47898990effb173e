// The exact lines the ISP commands put on the wire, and how they judge replies, with the
// boot ROM's replies queued on a real pseudo-terminal beforehand.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/identify.h"
#include "isp/isp_commands.h"
#include "isp/uu_codec.h"
#include "isp/uu_text.h"
#include "link/link_io.h"
#include "link/pty_port.h"
#include "link/scripted/scripted_console.h"
#include "link/serial_port.h"

namespace {

class IspWire : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(OpenLink(pty.portNumber()), 1);
    ASSERT_EQ(SetLinkBaudRate(115200), 1);
  }
  std::vector<std::string> SentLines() {
    std::vector<std::string> lines;
    std::string all = pty.Received(50), line;
    for (char c : all) {
      if (c == '\n') {
        lines.push_back(line);
        line.clear();
      } else if (c != '\r') {
        line += c;
      }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
  }
  PtyPort pty;
};

}  // namespace

TEST_F(IspWire, StatusRepliesAreJudgedByTheirFirstCharacters) {
  pty.Send("0\r\n");
  EXPECT_EQ(IspUnlock(), IspResult::Ok);
  pty.Send("15\r\n");
  EXPECT_EQ(IspEraseSectors(0, 9, 0), IspResult::Failed);
  pty.Send("0\r\n");
  EXPECT_EQ(IspPrepareSectors(14, 14, 0), IspResult::Ok);
  pty.Send("9\r\n");
  EXPECT_EQ(IspCopyRamToFlash(0x1A000000, 0x10000000, 512), IspResult::Failed);
  EXPECT_EQ(SentLines(), (std::vector<std::string>{"U 23130", "E 0 9 0", "P 14 14 0",
                                                   "C 436207616 268435456 512"}));
}

TEST_F(IspWire, CompareTellsADifferenceFromARefusal) {
  pty.Send("1\r\n");
  EXPECT_EQ(IspCompare(0x1A000000, 0x10000000, 512), CompareResult::Failed);
  pty.Send("10\r\n64\r\n0\r\n");
  EXPECT_EQ(IspCompare(0x1A000000, 0x10000000, 512), CompareResult::Differs);
  EXPECT_EQ(IspCompare(0x1A000000, 0x10000000, 512),
            CompareResult::Equal);  // the offset line was consumed
}

TEST_F(IspWire, ABlockOutsideOneBankIsRefusedBeforeAnyFlashCommand) {
  std::vector<uint8_t> block(4096 + 512, 0xFF);
  std::string replies;
  for (int chunk = 0; chunk < 6; ++chunk) replies += "0\r\nOK\r\n";
  pty.Send(replies);
  EXPECT_EQ(ProgramFlashBlock(0x1A07F000, block.data(), 4096 + 512), BlockResult::CrossesBank);
  for (const std::string& line : SentLines()) EXPECT_NE(line[0], 'P') << line;
}

TEST_F(IspWire, WriteSendsUuLinesOfFortyFiveAndOneChecksumPerChunk) {
  std::vector<uint8_t> block(512);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<uint8_t>(i * 7);
  uint32_t sum = 0;
  for (uint8_t b : block) sum += b;
  pty.Send("0\r\nOK\r\n");
  EXPECT_EQ(IspWriteRam(0x10000000, block.data(), 512), RamWriteResult::Done);
  std::vector<std::string> lines = SentLines();
  ASSERT_EQ(lines.size(), 14u);
  EXPECT_EQ(lines[0], "W 268435456 512");
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(lines[1 + i],
              UuText(std::vector<uint8_t>(block.begin() + 45 * i, block.begin() + 45 * (i + 1))));
  }
  EXPECT_EQ(lines[12][0], '1');  // 17 bytes: 0x20 + 17
  EXPECT_EQ(lines[13], std::to_string(sum));
}

TEST_F(IspWire, WriteAcceptsAChunkOnlyWhenTheBootRomSaysOk) {
  std::vector<uint8_t> block(900, 0x5A);
  pty.Send("0\r\nRESEND\r\n");
  EXPECT_EQ(IspWriteRam(0x10000000, block.data(), 900), RamWriteResult::Refused);
  pty.Send("19\r\n");
  EXPECT_EQ(IspWriteRam(0x10000000, block.data(), 900), RamWriteResult::Refused);
}

TEST_F(IspWire, WriteOfAnOddCountAnnouncesAndSendsWholeWords) {
  uint8_t bytes[5] = {1, 2, 3, 4, 5};
  pty.Send("0\r\nOK\r\n");
  EXPECT_EQ(IspWriteRam(0x10000000, bytes, 5), RamWriteResult::Done);
  std::vector<std::string> lines = SentLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "W 268435456 8");
  EXPECT_EQ(lines[1], UuText({1, 2, 3, 4, 5, 0, 0, 0}));
  EXPECT_EQ(lines[2], "15");
}

TEST_F(IspWire, ReadGivesUpOnLinesThatCarryNoData) {
  // Twenty lines that decode to nothing are all a count of 900 could need: the real
  // data after them is never reached, and the read fails as a missing reply.
  std::vector<uint8_t> data(45, 7);
  std::string reply = "0\r\n";
  for (int i = 0; i < 20; ++i) reply += "`\r\n";
  reply += UuText(data) + "\r\n315\r\n";
  pty.Send(reply);
  uint8_t out[45];
  ScriptedConsoleReset();
  EXPECT_EQ(IspReadMemory(out, 0x1A000000, 45), 0);
  EXPECT_EQ(ScriptedPrinted(), "Timeout\n");
}

TEST_F(IspWire, IdentitySkipsEveryAcknowledgementBeforeTheReply) {
  DeviceInfo info{};
  pty.Send("^+$^+$^+$^=V \"KLM8800T\" 2.60,86,3,1$");
  EXPECT_EQ(QueryIdentity(&info, false), IdentityResult::Parsed);
  EXPECT_STREQ(info.displayName, "KLM8800T");
  // A switch that only ever acknowledges is not identified, however long it keeps on.
  std::string acknowledgements;
  for (int i = 0; i < 12; ++i) acknowledgements += "^+$";
  pty.Send(acknowledgements + "^=V \"KLM8800T\" 2.60,86,3,1$");
  EXPECT_EQ(QueryIdentity(&info, true), IdentityResult::NotAReply);
}

TEST_F(IspWire, ReadOfNothingSendsNothing) {
  uint8_t out[4];
  EXPECT_EQ(IspReadMemory(out, 0x1A000000, 0), 0);
  EXPECT_EQ(pty.Received(50), "");
}

TEST_F(IspWire, ReadOfAnOddCountChecksTheWholeWordsTheBootRomSent) {
  // The boot ROM sends 4 bytes for a request of 3, and its checksum covers all four; the
  // fourth is not stored.
  pty.Send("0\r\n" + UuText({10, 20, 30, 40}) + "\r\n100\r\n");
  uint8_t out[4] = {0, 0, 0, 0xEE};
  EXPECT_EQ(IspReadMemory(out, 0x1A07FE00, 3), 3);
  EXPECT_EQ(out[0], 10);
  EXPECT_EQ(out[2], 30);
  EXPECT_EQ(out[3], 0xEE);
  EXPECT_EQ(SentLines(), (std::vector<std::string>{"R 436731392 4", "OK"}));
}

TEST_F(IspWire, ReadRefusesABadChecksumAndALaterRefusedChunk) {
  uint8_t out[1000];
  pty.Send("0\r\n" + UuText({1, 2, 3, 4}) + "\r\n11\r\n");
  EXPECT_EQ(IspReadMemory(out, 0x1A000000, 4), 0);
  FlushInput();
  // The first chunk of 900 is good, the second is refused: minus what was read.
  std::vector<uint8_t> firstChunk;
  for (int line = 0; line < 20; ++line)
    firstChunk.insert(firstChunk.end(), 45, static_cast<uint8_t>(line));
  pty.Send(ReadReplyText(firstChunk) + "14\r\n");
  EXPECT_EQ(IspReadMemory(out, 0x1A000000, 1000), -900);
}

TEST_F(IspWire, ALineClaimingMoreThanALineCanHoldIsNeverWrittenPastTheBuffer) {
  // '_' claims 63 bytes; a read of 512 must take at most 45 from it.
  pty.Send("0\r\n_" + std::string(84, '!') + "\r\n");
  std::vector<uint8_t> out(512, 0);
  EXPECT_LE(IspReadMemory(out.data(), 0x1A000000, 512), 0);
}
