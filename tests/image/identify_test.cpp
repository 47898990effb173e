// Identity replies, version texts and the compatibility rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/catalogue.h"
#include "image/identify.h"
#include "image/version_decision.h"

namespace {

struct Parsed {
  IdentityResult result;
  DeviceInfo info;
};

Parsed Parse(const char* line) {
  Parsed p{};
  p.info.hexField = 0xFFFFFFFF;
  p.result = ParseIdentityReply(&p.info, line);
  return p;
}

}  // namespace

TEST(ParseIdentityReply, ReadsNameVersionFamilyModelAndHexField) {
  Parsed p = Parse("^=V \"KLM8800T\" 2.60,86,3,1");
  EXPECT_EQ(p.result, IdentityResult::Parsed);
  EXPECT_EQ(p.info.family, 86);
  EXPECT_EQ(p.info.modelIndex, 3);
  EXPECT_EQ(p.info.version, 0x023C0000u);
  EXPECT_EQ(p.info.hexField, 1u);
  EXPECT_STREQ(p.info.displayName, "KLM8800T");
  EXPECT_EQ(p.info.displayName, p.info.productName);
}

TEST(ParseIdentityReply, AnEmptyNameFallsBackToTheCatalogue) {
  Parsed p = Parse("^=V \"\" 2.60.05b(Beta),86,3,1A");
  EXPECT_EQ(p.result, IdentityResult::Parsed);
  EXPECT_EQ(p.info.version, 0x023C2005u);
  EXPECT_EQ(p.info.hexField, 26u);
  EXPECT_STREQ(p.info.displayName, "KLM8800T");
  Parsed bare = Parse("^=V \"\" 2.60");
  EXPECT_EQ(bare.result, IdentityResult::Parsed);
  EXPECT_EQ(bare.info.family, 0);
  EXPECT_EQ(bare.info.displayName, nullptr);
}

TEST(ParseIdentityReply, ResultCodesTellWhatIsWrong) {
  struct Case {
    std::string line;
    IdentityResult result;
  } cases[] = {
      {"=V \"KLM8800T\" 2.60", IdentityResult::NotAReply},
      {"^=V KLM8800T 2.60", IdentityResult::NotAReply},
      {"", IdentityResult::NotAReply},
      {"^=V \"" + std::string(31, 'N') + "\" 1.00", IdentityResult::Parsed},
      {"^=V \"" + std::string(32, 'N') + "\" 1.00", IdentityResult::NameNotClosed},
      {"^=V \"unterminated", IdentityResult::NameNotClosed},
      {"^=V \"KLM8800T\" 2.60,86,3,1x", IdentityResult::TrailingCharacters},
      {"^=V \"KLM8800T\" 2.60 extra", IdentityResult::TrailingCharacters},
      {"^=V \"KLM8800T\" 2.60(Beta", IdentityResult::Parsed},  // a '(' without ')' ends at the line's end
      {"^=V \"KLM8800T\" 2.60)", IdentityResult::TrailingCharacters},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.line.c_str()).result, c.result) << c.line;
}

TEST(ParseIdentityReply, NumbersReadLikeTheCLibraryWithA32BitResult) {
  EXPECT_EQ(Parse("^=V \"X\" 2.60,0x56,3,0x1f").info.family, 0);  // decimal: stops at x
  EXPECT_EQ(Parse("^=V \"X\" 2.60,86,3,0x1f").info.hexField, 0x1Fu);
  EXPECT_EQ(Parse("^=V \"X\" 2.60,86,3,123456789ab").info.hexField, 0xFFFFFFFFu);
  EXPECT_EQ(Parse("^=V \"X\" 1.2a").info.version, 0x01021000u);
  // Any character separates the fields, also after the name; the model is decimal, so
  // "a" is a separator.
  EXPECT_EQ(Parse("^=V \"X\"-2.60").info.version, 0x023C0000u);
  Parsed odd = Parse("^=V \"X\" 2.60,86,3a1f");
  EXPECT_EQ(odd.info.modelIndex, 3);
  EXPECT_EQ(odd.info.hexField, 0x1Fu);
}

TEST(VersionText, ShowsMajorMinorBetaLetterAndBeta) {
  struct Case {
    uint32_t version;
    const char* text;
    int width;
  } cases[] = {
      {0x023C0000, "2.60", 4},
      {0x023C2005, "2.60.05b(Beta)", 14},
      {0x02051000, "2.05a", 5},
      {0x0A010000, "10.01", 5},
      {0x023C0005, "2.60.05(Beta)", 13},
      {0, "None", 4},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(VersionText(c.version), c.text);
    EXPECT_EQ(VersionTextWidth(c.version), c.width) << c.text;
  }
}

TEST(CheckCompatibility, ComparesCatalogueFamilyAndModelInThatOrder) {
  ImageHeader header{};
  header.family = 'V';
  header.modelIndex = 3;
  FirmwareImage image{};
  image.header = &header;
  DeviceInfo device{};
  device.family = 'V';
  device.modelIndex = 3;
  EXPECT_EQ(CheckCompatibility(&device, &image), Compatibility::Compatible);
  device.modelIndex = 2;
  EXPECT_EQ(CheckCompatibility(&device, &image), Compatibility::OtherModel);
  device.family = 'Z';
  EXPECT_EQ(CheckCompatibility(&device, &image), Compatibility::OtherFamily);
  header.modelIndex = 6;  // not in the catalogue: checked first
  EXPECT_EQ(CheckCompatibility(&device, &image), Compatibility::UnknownImage);
}

TEST(FindModelName, LooksUpFamilyAndIndexFromOne) {
  EXPECT_EQ(FindModelName('Z', 0), nullptr);
  EXPECT_STREQ(FindModelName('Z', 3), "KLM4400S");
  EXPECT_EQ(FindModelName('Z', 4), nullptr);
  EXPECT_STREQ(FindModelName('V', 5), "KLM8824T");
  EXPECT_STREQ(FindModelName('V', 1), "KRX4400T");
  EXPECT_EQ(FindModelName('X', 1), nullptr);
  EXPECT_EQ(FindModelName('V', -1), nullptr);
}
