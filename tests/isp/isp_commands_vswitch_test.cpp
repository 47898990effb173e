// The ISP commands against the virtual switch's boot ROM: data round trips through its
// RAM, and the result code of every command when the boot ROM refuses it or falls silent.
#include <gtest/gtest.h>

#include <vector>

#include "isp/boot_entry.h"
#include "isp/flash_map.h"
#include "isp/isp_commands.h"
#include "switch_fixture.h"

namespace {

std::vector<uint8_t> Pattern(size_t n) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i * 131 + 7);
  return bytes;
}

class IspOnASwitch : public UtilityOnASwitch {
 protected:
  void Connect(std::vector<std::string> options = {}) {
    options.push_back("--erase");
    Start(options);
    ASSERT_EQ(EnterBootLoader(), BootEntryResult::Synchronised);
  }
};

}  // namespace

TEST_F(IspOnASwitch, WritesAndReadsRoundTripWithOneChecksumPerChunk) {
  Connect();
  for (size_t n : {0, 1, 900, 1000, 4096}) {
    size_t writeOksBefore = CountLogged("< 115200 data OK");
    size_t readOksBefore = CountLogged("> 115200 data OK");
    std::vector<uint8_t> data = Pattern(n);
    ASSERT_EQ(IspWriteRam(kRamStaging, data.data(), static_cast<uint32_t>(n)), RamWriteResult::Done) << n;
    std::vector<uint8_t> back(n + 1, 0xEE);
    ASSERT_EQ(IspReadMemory(back.data(), kRamStaging, static_cast<uint32_t>(n)),
              static_cast<int32_t>(n));
    EXPECT_EQ(std::vector<uint8_t>(back.begin(), back.begin() + n), data) << n;
    EXPECT_EQ(back[n], 0xEE) << "read past the requested count";
    size_t chunks = (n + 899) / 900;
    EXPECT_EQ(CountLogged("< 115200 data OK") - writeOksBefore, chunks) << n;
    EXPECT_EQ(CountLoggedAtLeast("> 115200 data OK", readOksBefore + chunks) - readOksBefore,
              chunks)
        << n;
  }
}

TEST_F(IspOnASwitch, ABlockIsCopiedIntoFlashAndCompared) {
  Connect();
  ASSERT_EQ(IspUnlock(), IspResult::Ok);
  ASSERT_EQ(IspPrepareSectors(1, 1, 0), IspResult::Ok);
  ASSERT_EQ(IspEraseSectors(1, 1, 0), IspResult::Ok);
  std::vector<uint8_t> block = Pattern(1024);
  EXPECT_EQ(ProgramFlashBlock(0x1A002000, block.data(), 1024), BlockResult::Done);
  std::vector<uint8_t> back(1024);
  ASSERT_EQ(IspReadMemory(back.data(), 0x1A002000, 1024), 1024);
  EXPECT_EQ(back, block);
  // Programming over it again cannot set bits: the compare sees the difference.
  std::vector<uint8_t> other(1024, 0xFF);
  EXPECT_EQ(ProgramFlashBlock(0x1A002000, other.data(), 1024), BlockResult::FlashDiffers);
  // A block that runs past the end of the bank is refused before any flash command.
  std::vector<uint8_t> crossing(4096 + 512, 0xFF);
  EXPECT_EQ(ProgramFlashBlock(0x1A07F000, crossing.data(), 4096 + 512), BlockResult::CrossesBank);
}

TEST_F(IspOnASwitch, ARefusedCommandGivesItsResultCode) {
  struct Case {
    const char* letter;
    int (*run)();
    int expected;
  } cases[] = {
      {"U", [] { return static_cast<int>(IspUnlock()); }, 1},
      {"P", [] { return static_cast<int>(IspPrepareSectors(0, 0, 0)); }, 1},
      {"E", [] { return static_cast<int>(IspEraseSectors(0, 0, 0)); }, 1},
      {"C", [] { return static_cast<int>(IspCopyRamToFlash(0x1A000000, kRamStaging, 512)); }, 1},
      {"M", [] { return static_cast<int>(IspCompare(0x1A000000, kRamStaging, 512)); }, 1},
      {"G", [] { return static_cast<int>(IspGo(0x1A000100)); }, 1},
      {"W", [] { uint8_t b[4] = {}; return static_cast<int>(IspWriteRam(kRamStaging, b, 4)); }, 2},
      {"R", [] { uint8_t b[4]; return static_cast<int>(IspReadMemory(b, kRamStaging, 4)); }, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.letter);
    Connect({"--fault-refuse", c.letter});
    if (c.letter[0] != 'U') IspUnlock();
    EXPECT_EQ(c.run(), c.expected);
    switch_.Stop();
    linkPort.Close();
  }
}

TEST_F(IspOnASwitch, SilenceGivesEachCommandsResultCode) {
  Connect({"--fault-silence-after-copy", "1"});
  ASSERT_EQ(IspUnlock(), IspResult::Ok);
  ASSERT_EQ(IspPrepareSectors(0, 0, 0), IspResult::Ok);
  EXPECT_EQ(IspCopyRamToFlash(0x1A000000, kRamStaging, 512), IspResult::Failed);  // power lost
  uint8_t bytes[8] = {};
  EXPECT_EQ(IspUnlock(), IspResult::Failed);
  EXPECT_EQ(IspPrepareSectors(0, 0, 0), IspResult::Failed);
  EXPECT_EQ(IspEraseSectors(0, 0, 0), IspResult::Failed);
  EXPECT_EQ(IspCompare(0x1A000000, kRamStaging, 8), CompareResult::Failed);
  EXPECT_EQ(IspWriteRam(kRamStaging, bytes, 8), RamWriteResult::NoReply);
  EXPECT_EQ(IspReadMemory(bytes, kRamStaging, 8), 0);
  EXPECT_EQ(IspGo(0x1A000100), IspResult::Ok);  // the boot ROM may jump before it answers
}

TEST_F(IspOnASwitch, AResentChunkIsAFailedWriteNotAnAcceptedOne) {
  Connect({"--fault-resend", "once"});
  std::vector<uint8_t> data = Pattern(512);
  EXPECT_EQ(IspWriteRam(kRamStaging, data.data(), 512), RamWriteResult::Refused);
  EXPECT_EQ(CountLogged("< 115200 data RESEND"), 1u);
}

TEST_F(IspOnASwitch, ACompareDifferenceIsReportedWithItsOffsetLineConsumed) {
  Connect({"--fault-compare", "0x1A000100"});
  EXPECT_EQ(IspCompare(0x1A000000, kRamStaging, 512), CompareResult::Differs);
  EXPECT_EQ(IspCompare(kRamStaging, kRamStaging, 512), CompareResult::Equal);  // still in step
}
