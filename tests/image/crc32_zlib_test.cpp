// The nibble-table CRC against zlib's, on random data of many lengths.
#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <vector>

#include "image/crc32.h"

TEST(Crc32, AgreesWithZlibOnRandomData) {
  std::mt19937 random(20261206);
  for (size_t length : {0, 1, 3, 4, 255, 512, 4096, 144720}) {
    std::vector<uint8_t> data(length);
    for (uint8_t& b : data) b = static_cast<uint8_t>(random());
    uLong expected = crc32(0L, data.data(), static_cast<uInt>(data.size()));
    EXPECT_EQ(Crc32(data.data(), data.size()), static_cast<uint32_t>(expected)) << length;
  }
}
