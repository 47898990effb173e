// The carried image and its checks.
#include <gtest/gtest.h>

#include <vector>

#include "image/crc32.h"
#include "image/firmware_image.h"
#include "image/image_table.h"
#include "image_pack.h"

namespace {

FirmwareImage View(const std::vector<uint8_t>& bytes) {
  FirmwareImage image{};
  image.image = bytes.data();
  image.imageLength = static_cast<uint32_t>(bytes.size());
  return image;
}

std::vector<uint8_t> Carried() {
  return std::vector<uint8_t>(imageTable[0], imageTable[0] + imageTableSizes[0]);
}

}  // namespace

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

TEST(CarriedImage, HasTheFiguresOfTheProductionImageAndPassesValidation) {
  std::vector<uint8_t> bytes = Carried();
  FirmwareImage image = View(bytes);
  testing::internal::CaptureStdout();
  ASSERT_EQ(ValidateImage("Firmware", &image), ImageCheck::Valid);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  const ImageHeader& h = *image.header;
  EXPECT_EQ(image.firmware, image.image + h.firmwareOffset);
  EXPECT_EQ(image.parameterTable, image.image + h.tableOffset);
  EXPECT_EQ(h.tableAddress, 0x1A07FE00u);
  EXPECT_EQ(h.tableLength, 144u);
  EXPECT_EQ(h.firmwareAddress, 0x1A000000u);
  EXPECT_EQ(h.totalLength, bytes.size());
  // A real chip would boot the payload: its first eight words sum to zero.
  uint32_t sum = 0;
  for (int i = 0; i < 8; ++i) sum += ReadLe32(image.firmware + 4 * i);
  EXPECT_EQ(sum, 0u);
  const auto* table = reinterpret_cast<const ParameterTable*>(image.parameterTable);
  EXPECT_EQ(table->entryAddress, ReadLe32(image.firmware + 4));
  EXPECT_EQ(table->magic, kTableMagic);
  EXPECT_EQ(table->checkCrc, Crc32(image.firmware, table->checkLength));
}

TEST(ValidateImage, AnyChangedByteFailsTheWholeImageCheckFirst) {
  std::vector<uint8_t> bytes = Carried();
  for (size_t at : {size_t{0}, size_t{50}, size_t{80}, bytes.size() / 2, bytes.size() - 100,
                    bytes.size() - 1}) {
    std::vector<uint8_t> changed = bytes;
    changed[at] ^= 0x01;
    FirmwareImage image = View(changed);
    testing::internal::CaptureStdout();
    EXPECT_EQ(ValidateImage("Firmware", &image), ImageCheck::BadImage) << at;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nError: Bad CRC of file \"Firmware\"\n");
  }
}

TEST(ValidateImage, AHeaderPointingOutsideTheImageIsRefusedNotFollowed) {
  PackOptions options;
  std::string error;
  std::vector<uint8_t> bytes =
      PackImage(SyntheticPayload(2048, kSyntheticEntry), options, &error);
  // Point the payload far outside and repair the whole-image CRC, as a hostile or
  // corrupted build would: validation must refuse it without reading there.
  PutLe32(bytes, 28, 0x7FFFFFFF);
  uint32_t crc = Crc32(bytes.data(), bytes.size() - 4);
  PutLe32(bytes, bytes.size() - 4, crc);
  FirmwareImage image = View(bytes);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ValidateImage("Firmware", &image), ImageCheck::BadRegion);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nError: Bad CRC of firmware \"Firmware\"\n");

  std::vector<uint8_t> truncated = Carried();
  truncated.resize(1000);
  image = View(truncated);
  testing::internal::CaptureStdout();
  EXPECT_EQ(ValidateImage("Firmware", &image), ImageCheck::BadImage);
  testing::internal::GetCapturedStdout();
}

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
