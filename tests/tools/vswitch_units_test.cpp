// The switch's building blocks on their own: UU lines, flash cells, identity text and
// the garbage a rate mismatch makes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "firmware_identity.h"
#include "flash.h"
#include "line_noise.h"
#include "uu.h"

namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
  return bytes;
}

TEST(UuLine, EncodesLikeTheBootRom) {
  const struct {
    std::vector<uint8_t> bytes;
    std::string line;
  } cases[] = {
      {Bytes({0x61, 0x62, 0x63}), "#86)C"},
      {Bytes({1, 2, 3, 4}), "$`0(#!```"},
      {Bytes({0xFF, 0xFF, 0xFF, 0xFF}), "$_____P``"},
      {std::vector<uint8_t>(45, 0), "M" + std::string(60, '`')},
      {Bytes({0x00, 0x80, 0x00, 0x10, 0x01, 0x01, 0x00, 0x1A}), "(`(``$`$!`!H`"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(UuEncodeLine(c.bytes.data(), c.bytes.size()), c.line);
    std::vector<uint8_t> decoded;
    EXPECT_TRUE(UuDecodeLine(c.line, &decoded)) << c.line;
    EXPECT_EQ(decoded, c.bytes) << c.line;
  }
}

TEST(UuLine, TakesBlankAndGraveAccentAsZero) {
  std::vector<uint8_t> a, b;
  EXPECT_TRUE(UuDecodeLine("$`0(#!```", &a));
  EXPECT_TRUE(UuDecodeLine("$ 0(#!   ", &b));
  EXPECT_EQ(a, b);
}

TEST(UuLine, RefusesMalformedLines) {
  for (const char* bad : {"", "N" /* 46 bytes */, "#86)", "$`0(#!``", "#8\x7F)C", "#86)\x01"}) {
    std::vector<uint8_t> out;
    EXPECT_FALSE(UuDecodeLine(bad, &out)) << bad;
    EXPECT_TRUE(out.empty());
  }
}

class FlashFile : public ::testing::Test {
 protected:
  FlashFile() {
    char name[] = "/tmp/vswitch-flash-XXXXXX";
    int fd = mkstemp(name);
    close(fd);
    path_ = name;
  }
  ~FlashFile() override { unlink(path_.c_str()); }
  std::string path_;
};

TEST_F(FlashFile, ProgrammingOnlyClearsBitsAndEraseSetsThemAgain) {
  Flash flash;
  std::string error;
  ASSERT_TRUE(flash.Open(path_, &error)) << error;
  EXPECT_EQ(flash.Bank(1)[kBankBytes - 1], 0xFF);  // a new file is erased flash
  uint8_t first[4] = {0xF0, 0x0F, 0xAA, 0x00};
  uint8_t second[4] = {0x3C, 0xFF, 0x55, 0xFF};
  flash.Program(0, 0x2000, first, 4);
  flash.Program(0, 0x2000, second, 4);
  EXPECT_EQ(flash.Bank(0)[0x2000], 0x30);
  EXPECT_EQ(flash.Bank(0)[0x2001], 0x0F);
  EXPECT_EQ(flash.Bank(0)[0x2002], 0x00);
  EXPECT_EQ(flash.Bank(0)[0x2003], 0x00);
  flash.EraseSectors(0, 1, 1);
  EXPECT_EQ(flash.Bank(0)[0x2000], 0xFF);
  EXPECT_EQ(flash.Bank(0)[0x2003], 0xFF);
}

TEST_F(FlashFile, KeepsItsContentsAcrossAPowerCycle) {
  {
    Flash flash;
    std::string error;
    ASSERT_TRUE(flash.Open(path_, &error)) << error;
    uint8_t word[4] = {1, 2, 3, 4};
    flash.Program(1, 0x70000, word, 4);
  }
  Flash flash;
  std::string error;
  ASSERT_TRUE(flash.Open(path_, &error)) << error;
  EXPECT_EQ(flash.Bank(1)[0x70003], 4);
  EXPECT_EQ(flash.Bank(1)[0x70004], 0xFF);
}

TEST(FlashMap, SectorsAreEightSmallThenSevenLarge) {
  EXPECT_EQ(SectorAt(0x0000), 0);
  EXPECT_EQ(SectorAt(0x1FFF), 0);
  EXPECT_EQ(SectorAt(0x2000), 1);
  EXPECT_EQ(SectorAt(0xFFFF), 7);
  EXPECT_EQ(SectorAt(0x10000), 8);
  EXPECT_EQ(SectorAt(0x7FFFF), 14);
  EXPECT_EQ(SectorOffset(14) + SectorBytes(14), kBankBytes);
  int bank = -1;
  uint32_t offset = 0;
  EXPECT_TRUE(Flash::Locate(0x1B07FFFC, 4, &bank, &offset));
  EXPECT_EQ(bank, 1);
  EXPECT_FALSE(Flash::Locate(0x1A07FFFC, 8, &bank, &offset));  // runs past bank A
  EXPECT_FALSE(Flash::Locate(0x00000000, 4, &bank, &offset));
}

TEST(IdentityText, VersionTextHasTheFirmwaresForm) {
  EXPECT_EQ(VersionText(0x023C0000u), "2.60");
  EXPECT_EQ(VersionText(0x02050000u), "2.05");
  EXPECT_EQ(VersionText(0x023C2005u), "2.60.05b(Beta)");
  EXPECT_EQ(VersionText(0x03011000u), "3.01a");
}

TEST(IdentityText, ReplyFrameCarriesNameVersionFamilyModelAndHex) {
  Identity identity{"KLM8800T", 0x023C0000u, 'V', 3, 1, true};
  EXPECT_EQ(IdentityFrame(identity), "^=V \"KLM8800T\" 2.60,86,3,1$");
  identity.hex = 0x1A;
  identity.name.clear();
  EXPECT_EQ(IdentityFrame(identity), "^=V \"\" 2.60,86,3,1A$");
  identity.withFamily = false;
  EXPECT_EQ(IdentityFrame(identity), "^=V \"\" 2.60$");
}

TEST(LineNoise, WrongRateBytesNeverLookLikeText) {
  std::string text = "^=V \"KLM8800T\" 2.60,86,3,1$\r\nSynchronized\r\nOK\r\n0\r\n";
  const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
  for (auto [sent, heard] : {std::pair{115200u, 19200u}, std::pair{19200u, 115200u},
                             std::pair{57600u, 38400u}}) {
    RateMismatch mismatch;
    std::vector<uint8_t> out;
    mismatch.Garble(bytes, text.size(), sent, heard, &out);
    EXPECT_FALSE(out.empty());
    for (uint8_t b : out) EXPECT_GE(b, 0x80) << sent << " heard at " << heard;
  }
}

}  // namespace
