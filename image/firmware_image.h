// The firmware image that the utility carries inside itself: its in-memory view and its
// validation. The byte layout is in image/image_format.h.
#pragma once

#include <cstdint>

#include "image/image_format.h"

// The in-memory view of one image. The caller sets image (and imageLength, the bytes
// that may be read there); ValidateImage fills the rest.
struct FirmwareImage {
  const uint8_t* image;
  const ImageHeader* header;
  const uint8_t* firmware;
  const uint8_t* parameterTable;
  uint32_t imageLength;
};

enum class ImageCheck : int {
  Valid = 0,
  Absent = 1,     // LoadCarriedImage only: the build carries no image at that entry
  BadImage = 4,   // the whole-image CRC fails (or the header's numbers leave the image)
  BadRegion = 5,  // the payload's or the table's CRC fails
};
// Tests the three CRCs (whole image first, then payload, then table) and fills header;
// firmware and parameterTable only when every check holds. Prints its own message, naming
// label.
ImageCheck ValidateImage(const char* label, FirmwareImage* image);

// Loads entry index of imageTable (the images this build carries) into *image and
// validates it, naming label in its messages. Absent for an empty entry, which every walk
// over the table skips; otherwise ValidateImage's result.
ImageCheck LoadCarriedImage(int index, const char* label, FirmwareImage* image);
