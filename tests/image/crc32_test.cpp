// The CRC-32 of the images and the parameter table. (A comparison with zlib's over
// random data is in crc32_zlib_test.cpp.)
#include <gtest/gtest.h>

#include <vector>

#include "image/crc32.h"

TEST(Crc32, MatchesTheStandardCheckValueAndResidue) {
  const uint8_t text[] = "123456789";
  EXPECT_EQ(Crc32(text, 9), 0xCBF43926u);
  std::vector<uint8_t> region(text, text + 9);
  uint32_t crc = Crc32(region.data(), region.size());
  for (int i = 0; i < 4; ++i) region.push_back(static_cast<uint8_t>(crc >> (8 * i)));
  EXPECT_EQ(Crc32Update(0xFFFFFFFF, region.data(), region.size()), kCrc32Residue);
  // The inverted value stored instead fails the residue check.
  for (int i = 0; i < 4; ++i) region[9 + i] = static_cast<uint8_t>(~crc >> (8 * i));
  EXPECT_NE(Crc32Update(0xFFFFFFFF, region.data(), region.size()), kCrc32Residue);
}
