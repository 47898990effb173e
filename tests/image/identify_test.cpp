// The firmware's identity reply, as the parser reads it.
#include <gtest/gtest.h>

#include <string>

#include "image/identify.h"

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
      {"^=V \"KLM8800T\" 2.60(Beta",
       IdentityResult::Parsed},  // a '(' without ')' ends at the line's end
      {"^=V \"KLM8800T\" 2.60)", IdentityResult::TrailingCharacters},
  };
  for (const Case& c : cases) EXPECT_EQ(Parse(c.line.c_str()).result, c.result) << c.line;
}

TEST(ParseIdentityReply, NumbersReadLikeTheCLibraryWithA32BitResult) {
  EXPECT_EQ(Parse("^=V \"X\" 2.60,0x56,3,0x1f").info.family, 0);  // decimal: stops at x
  EXPECT_EQ(Parse("^=V \"X\" 2.60,86,3,0x1f").info.hexField, 0x1Fu);
  EXPECT_EQ(Parse("^=V \"X\" 2.60,86,3,123456789ab").info.hexField, 0xFFFFFFFFu);
  EXPECT_EQ(Parse("^=V \"X\" 1.2a").info.version, 0x01021000u);
  // Letters run from 'a' to 'z'; past 'o' they reach into the minor field, as they came.
  Parsed lastLetter = Parse("^=V \"X\" 1.2z");
  EXPECT_EQ(lastLetter.result, IdentityResult::Parsed);
  EXPECT_EQ(lastLetter.info.version, 0x0103A000u);
  // Every decimal field is read in base ten, also past its first digit.
  Parsed wide = Parse("^=V \"X\" 12.34.56,86,12,1");
  EXPECT_EQ(wide.info.version, 0x0C220038u);
  EXPECT_EQ(wide.info.modelIndex, 12);
  // Any character separates the fields, also after the name; the model is decimal, so
  // "a" is a separator.
  EXPECT_EQ(Parse("^=V \"X\"-2.60").info.version, 0x023C0000u);
  Parsed odd = Parse("^=V \"X\" 2.60,86,3a1f");
  EXPECT_EQ(odd.info.modelIndex, 3);
  EXPECT_EQ(odd.info.hexField, 0x1Fu);
}
