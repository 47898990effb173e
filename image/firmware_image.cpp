#include "image/firmware_image.h"

#include "image/crc32.h"
#include "image/image_table.h"
#include "link/link_io.h"

namespace {

bool ResidueHolds(const uint8_t* region, uint32_t length) {
  return Crc32Update(0xFFFFFFFFu, region, length) == kCrc32Residue;
}

// A region must hold at least its CRC and lie inside the image. The header's numbers
// are only trusted this far: a header that points outside the image is refused, never
// followed.
bool RegionFits(uint32_t offset, uint32_t length, uint32_t total) {
  return length >= 4 && uint64_t{offset} + length <= total;
}

// The smallest image: a header and the final CRC.
constexpr uint32_t kSmallestImage = sizeof(ImageHeader) + 4;

}  // namespace

ImageCheck ValidateImage(const char* label, FirmwareImage* image) {
  image->header = reinterpret_cast<const ImageHeader*>(image->image);
  // The header's length is read only from bytes that can hold an image at all.
  uint32_t total{};
  if (image->imageLength >= kSmallestImage) total = image->header->totalLength;
  if (total < kSmallestImage || total > image->imageLength || !ResidueHolds(image->image, total)) {
    PrintFormatted("\nError: Bad CRC of file \"%s\"\n", label);
    return ImageCheck::BadImage;
  }
  // A region's pointer is formed only once its place has been checked.
  const ImageHeader& h = *image->header;
  if (!RegionFits(h.firmwareOffset, h.firmwareLength, total) ||
      !ResidueHolds(image->image + h.firmwareOffset, h.firmwareLength)) {
    PrintFormatted("\nError: Bad CRC of firmware \"%s\"\n", label);
    return ImageCheck::BadRegion;
  }
  if (!RegionFits(h.tableOffset, h.tableLength, total) ||
      !ResidueHolds(image->image + h.tableOffset, h.tableLength)) {
    PrintFormatted("\nError: Bad CRC of parameter table \"%s\"\n", label);
    return ImageCheck::BadRegion;
  }
  image->firmware = image->image + h.firmwareOffset;
  image->parameterTable = image->image + h.tableOffset;
  return ImageCheck::Valid;
}

ImageCheck LoadCarriedImage(int index, const char* label, FirmwareImage* image) {
  *image = {};
  if (index < 0 || index >= kImageTableCount) return ImageCheck::Absent;
  if (imageTable[index] == nullptr) return ImageCheck::Absent;
  image->image = imageTable[index];
  image->imageLength = imageTableSizes[index];
  return ValidateImage(label, image);
}
