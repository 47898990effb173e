// The packer as a library.
#include <gtest/gtest.h>

#include "image_pack.h"

TEST(ImagePack, VersionTextsBecomeVersionWords) {
  uint32_t v = 0;
  EXPECT_TRUE(ParseVersionWord("2.60", &v));
  EXPECT_EQ(v, 0x023C0000u);
  EXPECT_TRUE(ParseVersionWord("2.60.05b", &v));
  EXPECT_EQ(v, 0x023C2005u);
  EXPECT_TRUE(ParseVersionWord("0x02051000", &v));
  EXPECT_EQ(v, 0x02051000u);
  EXPECT_FALSE(ParseVersionWord("2", &v));
  EXPECT_FALSE(ParseVersionWord("2.60.64", &v));
  EXPECT_FALSE(ParseVersionWord("2.60z", &v));
}
