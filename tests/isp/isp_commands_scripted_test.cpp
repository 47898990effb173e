// How the ISP commands use the port, on the simulated line: one Write for each command
// line and one for each chunk's data with its checksum, and how long each waits.
#include <functional>
#include <string>
#include <vector>

#include "isp/isp_commands.h"
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
