// How the ISP commands use the port, on the simulated line: one Write for each command
// line and one for each chunk's data with its checksum, and how long each waits.
#include <functional>
#include <string>
#include <vector>

#include "isp/isp_commands.h"
#include "isp/scripted_boot_rom.h"
#include "isp/uu_text.h"
#include "link/scripted_fixture.h"

using IspCommandsScripted = OnAScriptedLine;

TEST_F(IspCommandsScripted, EachCommandLineAndEachChunkIsOneWrite) {
  ScriptedDeliver("0\r\n");
  EXPECT_EQ(IspPrepareSectors(0, 9, 0), IspResult::Ok);
  EXPECT_EQ(ScriptedWrites().size(), 1u);
  std::vector<uint8_t> block(4096, 0xA5);
  std::string replies;
  for (int chunk = 0; chunk < 5; ++chunk) replies += "0\r\nOK\r\n";
  ScriptedDeliver(replies);
  EXPECT_EQ(IspWriteRam(0x10000000, block.data(), 4096), RamWriteResult::Done);
  // Five chunks: each a command line, then its data and checksum lines together.
  EXPECT_EQ(ScriptedWrites().size(), 1u + 10u);
}

TEST_F(IspCommandsScripted, SilenceFailsEveryCommandButGoAfterOneLineLimit) {
  // Each command waits for its status line as long as the line reader waits, 500 ms from
  // the command, and not a millisecond longer. The boot ROM may jump before its "0" of a
  // G has left its UART, so silence after G counts as started.
  uint8_t bytes[8] = {};
  struct Case {
    const char* command;
    std::function<bool()> asExpected;
  } cases[] = {
      {"U", [] { return IspUnlock() == IspResult::Failed; }},
      {"P", [] { return IspPrepareSectors(0, 0, 0) == IspResult::Failed; }},
      {"E", [] { return IspEraseSectors(0, 0, 0) == IspResult::Failed; }},
      {"C", [] { return IspCopyRamToFlash(0x1A000000, 0x10000000, 512) == IspResult::Failed; }},
      {"M", [] { return IspCompare(0x1A000000, 0x10000000, 512) == CompareResult::Failed; }},
      {"W", [&] { return IspWriteRam(0x10000000, bytes, 8) == RamWriteResult::NoReply; }},
      {"R", [&] { return IspReadMemory(bytes, 0x10000000, 8) == 0; }},
      {"G", [] { return IspGo(0x1A00D7B0) == IspResult::Ok; }},
  };
  for (const Case& c : cases) {
    uint32_t before = ScriptedNow();
    size_t writes = ScriptedWrites().size();
    EXPECT_TRUE(c.asExpected()) << c.command;
    EXPECT_EQ(ScriptedNow() - before, 501u) << c.command;
    ASSERT_EQ(ScriptedWrites().size(), writes + 1) << c.command;  // the command line only
    EXPECT_EQ(ScriptedWrites().back()[0], c.command[0]);
  }
  EXPECT_EQ(ScriptedWrites().back(), "G 436262832 T\r\n");
  ScriptedDeliver("13\r\n");
  EXPECT_EQ(IspGo(0x1A00D7B0), IspResult::Failed);
}

TEST_F(IspCommandsScripted, ReadTakesTheLineAfterOneThatDecodesToNothing) {
  // A line that carries no data is followed by the next one; only a boot ROM that sends
  // more such lines than the chunk has data lines is taken for one that never ends.
  std::vector<uint8_t> data(44, 7);  // a whole number of words, on one line
  const std::string dataLine = UuText(data) + "\r\n";
  struct Case {
    const char* noData;  // a line that carries no data
    int count;           // sent before the data
    int32_t result;
  } cases[] = {{"`", 1, 44},
               {"`", 2, 0},
               // An empty line is no line at all: the data counts as missing.
               {"", 1, 0}};
  for (const Case& c : cases) {
    std::string reply = "0\r\n";
    for (int i = 0; i < c.count; ++i) reply += std::string(c.noData) + "\r\n";
    ScriptedDeliver(reply + dataLine + "308\r\n");
    std::vector<uint8_t> out(44, 0);
    EXPECT_EQ(IspReadMemory(out.data(), 0x1A000000, 44), c.result) << c.count << c.noData;
    EXPECT_EQ(ScriptedPrinted(), c.result == 44 ? "" : "Timeout\n");
    if (c.result == 44) {
      EXPECT_EQ(out, data);
      EXPECT_EQ(ScriptedWrites().back(), "OK\r\n");
    }
    Restart();
  }
}

TEST_F(IspCommandsScripted, ReadTakesOnlyAChecksumLineThatIsANumberAndNothingElse) {
  // A checksum line that carries anything beside its digits was garbled on the way: the
  // sum it seems to start with proves nothing. The chunk is still answered "OK". A sum of
  // one digit is a checksum like any other; an empty line is none, and goes unanswered.
  const std::vector<uint8_t> data = {1, 2, 3, 0};
  struct Case {
    const char* checksum;
    int32_t result;
  } cases[] = {{"6", 4}, {"6x", 0}, {"x6", 0}, {"", 0}};
  for (const Case& c : cases) {
    const bool empty = c.checksum[0] == '\0';
    ScriptedDeliver("0\r\n" + UuText(data) + "\r\n" + c.checksum + "\r\n");
    uint8_t out[4] = {};
    EXPECT_EQ(IspReadMemory(out, 0x1A000000, 4), c.result) << c.checksum;
    EXPECT_EQ(ScriptedPrinted(), empty ? "Timeout\n" : "") << c.checksum;
    EXPECT_EQ(ScriptedWrites().back() == "OK\r\n", !empty) << c.checksum;
    Restart();
  }
}

TEST_F(IspCommandsScripted, AnEmptyLineIsNoAnswerToALaterChunkOfARead) {
  // The first chunk of 900 is read; the status line of the second is empty, a reply that
  // went missing, which fails the whole read. Only a refusal returns minus what was read.
  std::vector<uint8_t> firstChunk(900, 3);
  struct Case {
    const char* status;
    int32_t result;
  } cases[] = {{"\r\n", 0}, {"14\r\n", -900}};
  for (const Case& c : cases) {
    ScriptedDeliver(ReadReplyText(firstChunk) + c.status);
    std::vector<uint8_t> out(1000, 0);
    EXPECT_EQ(IspReadMemory(out.data(), 0x1A000000, 1000), c.result) << c.status;
    Restart();
  }
}

TEST_F(IspCommandsScripted, GoTakesAnEmptyLineAsStartedAndOnlyARefusalAsFailed) {
  // The boot ROM jumps as its "0" leaves: what arrives may be cut to its line end. Any
  // other status, of one digit or two, is a refusal.
  struct Case {
    const char* reply;
    IspResult result;
  } cases[] = {{"0\r\n", IspResult::Ok},
               {"\r\n", IspResult::Ok},
               {"19\r\n", IspResult::Failed},
               {"4\r\n", IspResult::Failed}};
  for (const Case& c : cases) {
    ScriptedDeliver(c.reply);
    EXPECT_EQ(IspGo(0x1A00D7B0), c.result) << c.reply;
    EXPECT_EQ(ScriptedNow(), 0u) << c.reply;  // the answer was taken, not waited out
    Restart();
  }
}

TEST_F(IspCommandsScripted, AnEmptyLineIsNoAnswerToAWrite) {
  // An empty line is a missing reply, to the command as to the chunk; a refusal is one
  // that came, even one cut to a single character.
  uint8_t bytes[8] = {};
  struct Case {
    const char* replies;
    RamWriteResult result;
  } cases[] = {
      {"\r\n", RamWriteResult::NoReply},       {"0\r\n\r\n", RamWriteResult::NoReply},
      {"14\r\n", RamWriteResult::Refused},     {"0\r\nRESEND\r\n", RamWriteResult::Refused},
      {"0\r\nO\r\n", RamWriteResult::Refused}, {"0\r\nOK\r\n", RamWriteResult::Done}};
  for (const Case& c : cases) {
    ScriptedDeliver(c.replies);
    EXPECT_EQ(IspWriteRam(0x10000000, bytes, 8), c.result) << c.replies;
    Restart();
  }
}

TEST_F(IspCommandsScripted, ABlockIsCopiedOnlyIntoSectorsWhosePrepareWasTaken) {
  // The copy follows a prepare the boot ROM took, and only such a prepare.
  std::vector<uint8_t> block(512, 0x42);
  for (char refused : {'\0', 'P'}) {
    ScriptedBootRom rom;
    rom.refused = refused;
    EXPECT_EQ(ProgramFlashBlock(0x1A002000, block.data(), 512),
              refused == 'P' ? BlockResult::Refused : BlockResult::Done);
    EXPECT_EQ(rom.copies.size(), refused == 'P' ? 0u : 1u);
  }
}
