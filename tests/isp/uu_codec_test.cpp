#include "isp/uu_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isp/flash_map.h"
#include "isp/uu_text.h"

TEST(UuEncodeLine, WritesTheBootRomsLineFormat) {
  EXPECT_EQ(UuText({'a', 'b', 'c'}), "#86)C");
  EXPECT_EQ(UuText({1, 2, 3, 4}), "$`0(#!```");
  EXPECT_EQ(UuText({0xFF, 0xFF, 0xFF, 0xFF}), "$_____P``");
  EXPECT_EQ(UuText({}), "`");
  EXPECT_EQ(UuText(std::vector<uint8_t>(45, 0)), "M" + std::string(60, '`'));
  // 8 bytes of a worked write example from the boot ROM's documentation.
  EXPECT_EQ(UuText({0x00, 0x80, 0x00, 0x10, 0x01, 0x01, 0x00, 0x1A}), "(`(``$`$!`!H`");
}

// A last group of one or two bytes is padded with zero bytes, never with what follows the
// count in memory.
TEST(UuEncodeLine, PadsTheLastGroupWithZerosNotWithTheBytesAfterIt) {
  const uint8_t bytes[] = {1, 2, 0xFF, 0xFF};
  char line[kUuLineBuffer];
  UuEncodeLine(line, bytes, 1);
  EXPECT_STREQ(line, "!`0``");
  UuEncodeLine(line, bytes, 2);
  EXPECT_STREQ(line, "\"`0(`");
}

TEST(UuDecodeLine, InvertsTheEncodingForEveryLengthAndWritesNothingMore) {
  std::vector<uint8_t> data(45);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 37 + 11);
  for (int n = 0; n <= 45; ++n) {
    char line[kUuLineBuffer];
    UuEncodeLine(line, data.data(), n);
    std::vector<uint8_t> out(46, 0xA5);
    ASSERT_EQ(UuDecodeLine(out.data(), line, 45), n);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + n),
              std::vector<uint8_t>(data.begin(), data.begin() + n));
    // The padding of a last group of one or two bytes never lands after them.
    EXPECT_EQ(out[n], 0xA5) << n;
  }
}

TEST(UuDecodeLine, TakesBlankAndGraveAccentAsZeroAndStopsAtTheLimit) {
  uint8_t out[8] = {};
  EXPECT_EQ(UuDecodeLine(out, "#    ", 8), 3);
  EXPECT_EQ(out[0] | out[1] | out[2], 0);
  uint8_t limited[2] = {};
  EXPECT_EQ(UuDecodeLine(limited, "#86)C", 2), 2);
  EXPECT_EQ(limited[0], 'a');
  EXPECT_EQ(limited[1], 'b');
  uint8_t one = 0;
  EXPECT_EQ(UuDecodeLine(&one, "#86)C", 1), 1);
  EXPECT_EQ(one, 'a');
}

TEST(UuDecodeLine, NeverReadsPastTheEndOfAShortLine) {
  // Claims 45 bytes but carries none: decodes zeros, and the checksum catches it.
  uint8_t out[45];
  EXPECT_EQ(UuDecodeLine(out, "M", 45), 45);
  EXPECT_EQ(out[44], 0);
  EXPECT_EQ(UuDecodeLine(out, "", 45), 0);
}

TEST(FlashSectorOf, MapsBothBanksAndRefusesEverythingElse) {
  struct Case {
    uint32_t address;
    int result;
    int bank;
    int sector;
  } cases[] = {
      {0x1A000000, 0, 0, 0},  {0x1A001FFF, 0, 0, 0},  {0x1A002000, 0, 0, 1},  {0x1A00FFFF, 0, 0, 7},
      {0x1A010000, 0, 0, 8},  {0x1A07FE00, 0, 0, 14}, {0x1A07FFFF, 0, 0, 14}, {0x1B000000, 0, 1, 0},
      {0x1B07FFFF, 0, 1, 14}, {0x1A080000, 1, 9, 9},  {0x19FFFFFF, 1, 9, 9},  {0x1B080000, 1, 9, 9},
      {0x00000000, 1, 9, 9},  {0xFFFFFFFF, 1, 9, 9},
  };
  for (const Case& c : cases) {
    uint8_t bank = 9, sector = 9;
    EXPECT_EQ(static_cast<int>(FlashSectorOf(c.address, &bank, &sector)), c.result)
        << std::hex << c.address;
    EXPECT_EQ(bank, c.bank) << std::hex << c.address;
    EXPECT_EQ(sector, c.sector) << std::hex << c.address;
  }
}

TEST(FlashSectorsOf, ARangeReachesTheSectorOfItsLastByteAndStaysInOneBank) {
  struct Case {
    uint32_t address;
    uint32_t count;
    bool inMap;
    int first;
    int last;
  } cases[] = {
      {0x1A000000, 0x2000, true, 0, 0},   {0x1A000000, 0x2001, true, 0, 1},
      {0x1A00E000, 0x2001, true, 7, 8},   {0x1A07FE00, 0x200, true, 14, 14},
      {0x1A07FE00, 0x201, false, 14, 99},  // one byte past bank A
      {0x1B000000, 0x1, true, 0, 0},
  };
  for (const Case& c : cases) {
    SectorRange range{9, 99, 99};
    EXPECT_EQ(FlashSectorsOf(c.address, c.count, &range), c.inMap) << std::hex << c.address;
    EXPECT_EQ(range.first, c.first) << std::hex << c.address;
    EXPECT_EQ(range.last, c.last) << std::hex << c.address;
  }
}
