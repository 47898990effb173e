// How the ISP commands use the port: one Write for each command line and one for each
// chunk's data with its checksum, on the simulated line.
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
