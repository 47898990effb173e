// The carried image and the checks of an image (ValidateImage).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/crc32.h"
#include "image/firmware_image.h"
#include "image/image_table.h"
#include "image_pack.h"
#include "link/scripted/scripted_console.h"

namespace {

// The check's result and what it printed.
struct Validation {
  ImageCheck check;
  std::string shown;
};

Validation Validate(FirmwareImage* image) {
  ScriptedConsoleReset();
  ImageCheck check = ValidateImage("Firmware", image);
  return {check, ScriptedPrinted()};
}

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

TEST(CarriedImage, HasTheFiguresOfTheProductionImageAndPassesValidation) {
  std::vector<uint8_t> bytes = Carried();
  FirmwareImage image = View(bytes);
  Validation v = Validate(&image);
  ASSERT_EQ(v.check, ImageCheck::Valid);
  EXPECT_EQ(v.shown, "");
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

TEST(CarriedImage, AnIndexOutsideTheTableIsAbsentAndNeverRead) {
  for (int index : {-1, kImageTableCount}) {
    FirmwareImage image{};
    image.image = imageTable[0];  // left from an earlier load
    EXPECT_EQ(LoadCarriedImage(index, "Firmware", &image), ImageCheck::Absent) << index;
    EXPECT_EQ(image.image, nullptr) << index;
  }
}

TEST(ValidateImage, AnyChangedByteFailsTheWholeImageCheckFirst) {
  std::vector<uint8_t> bytes = Carried();
  for (size_t at : {size_t{0}, size_t{50}, size_t{80}, bytes.size() / 2, bytes.size() - 100,
                    bytes.size() - 1}) {
    std::vector<uint8_t> changed = bytes;
    changed[at] ^= 0x01;
    FirmwareImage image = View(changed);
    Validation v = Validate(&image);
    EXPECT_EQ(v.check, ImageCheck::BadImage) << at;
    EXPECT_EQ(v.shown, "\nError: Bad CRC of file \"Firmware\"\n");
  }
}

TEST(ValidateImage, EachRegionHasItsOwnCrcAndItsOwnMessage) {
  // A byte of the payload, then of the table, changed with the whole-image CRC repaired:
  // only the region's own CRC can tell, and the message names that region.
  const std::vector<uint8_t> bytes = Carried();
  const auto& h = *reinterpret_cast<const ImageHeader*>(bytes.data());
  struct Case {
    uint32_t at;
    const char* shown;
  } cases[] = {
      {h.firmwareOffset + h.firmwareLength / 2, "\nError: Bad CRC of firmware \"Firmware\"\n"},
      {h.tableOffset + 8, "\nError: Bad CRC of parameter table \"Firmware\"\n"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> changed = bytes;
    changed[c.at] ^= 0x01;
    PutLe32(changed, changed.size() - 4, Crc32(changed.data(), changed.size() - 4));
    FirmwareImage image = View(changed);
    Validation v = Validate(&image);
    EXPECT_EQ(v.check, ImageCheck::BadRegion) << c.at;
    EXPECT_EQ(v.shown, c.shown);
    EXPECT_EQ(image.firmware, nullptr) << "a refused image gives no region to program";
  }
}

TEST(ValidateImage, AHeaderPointingOutsideTheImageIsRefusedNotFollowed) {
  PackOptions options;
  std::string error;
  std::vector<uint8_t> bytes = PackImage(SyntheticPayload(2048, kSyntheticEntry), options, &error);
  // Point the payload far outside and repair the whole-image CRC, as a hostile or
  // corrupted build would: validation must refuse it without reading there.
  PutLe32(bytes, 28, 0x7FFFFFFF);
  uint32_t crc = Crc32(bytes.data(), bytes.size() - 4);
  PutLe32(bytes, bytes.size() - 4, crc);
  FirmwareImage image = View(bytes);
  Validation v = Validate(&image);
  EXPECT_EQ(v.check, ImageCheck::BadRegion);
  EXPECT_EQ(v.shown, "\nError: Bad CRC of firmware \"Firmware\"\n");

  std::vector<uint8_t> truncated = Carried();
  truncated.resize(1000);
  image = View(truncated);
  EXPECT_EQ(Validate(&image).check, ImageCheck::BadImage);
}

TEST(ValidateImage, AnImageHoldsAtLeastItsHeaderAndItsCrc) {
  // A header and its CRC, the CRC right: 84 bytes pass the whole-image check (the
  // payload that the header places on the CRC then fails its own); 83 never do.
  for (uint32_t total : {83u, 84u}) {
    std::vector<uint8_t> bytes(total, 0);
    PutLe32(bytes, 0, total);
    PutLe32(bytes, 20, 80);  // payload and table: the last four bytes
    PutLe32(bytes, 28, 4);
    PutLe32(bytes, 32, 80);
    PutLe32(bytes, 40, 4);
    PutLe32(bytes, total - 4, Crc32(bytes.data(), total - 4));
    FirmwareImage image = View(bytes);
    Validation v = Validate(&image);
    EXPECT_EQ(v.check, total == 84 ? ImageCheck::BadRegion : ImageCheck::BadImage) << total;
  }
}

TEST(ValidateImage, ARegionMayBeJustItsCrcAndMayEndWhereTheImageEnds) {
  // An 88-byte image: the header, four bytes that are the CRC of an empty payload, and the
  // final CRC. The payload is those four bytes alone; the table is the whole image, up to
  // its last byte. Both hold their CRC and lie inside the image; one byte more does not.
  for (uint32_t tableLength : {88u, 89u}) {
    std::vector<uint8_t> bytes(88, 0);
    PutLe32(bytes, 0, 88);
    PutLe32(bytes, 20, 80);
    PutLe32(bytes, 28, 4);
    PutLe32(bytes, 32, 0);
    PutLe32(bytes, 40, tableLength);
    PutLe32(bytes, 84, Crc32(bytes.data(), 84));
    FirmwareImage image = View(bytes);
    Validation v = Validate(&image);
    if (tableLength == 88) {
      EXPECT_EQ(v.check, ImageCheck::Valid);
      EXPECT_EQ(v.shown, "");
      EXPECT_EQ(image.firmware, image.image + 80);
      EXPECT_EQ(image.parameterTable, image.image);
    } else {
      EXPECT_EQ(v.check, ImageCheck::BadRegion);
      EXPECT_EQ(v.shown, "\nError: Bad CRC of parameter table \"Firmware\"\n");
    }
  }
}
