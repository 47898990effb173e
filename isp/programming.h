// Writing one firmware image into the switch through its boot ROM.
#pragma once

#include "image/firmware_image.h"

// Whether the image can be written with the block scheme: a payload of at least one
// 512-byte block (its first block, written last, makes the chip bootable), areas that
// start on 512-byte boundaries (the smallest unit the boot ROM copies), and a table that
// is not empty. When it cannot, says what is wrong, naming label, and returns false.
bool ImageFitsBlockScheme(const char* label, const FirmwareImage* image);

enum class UpdateResult : int {
  Updated = 0,  // the new firmware runs; the link is back at 19200 baud
  Failed = 1,
  Mismatch = 2,  // a compare found a difference
};

// Brings the switch into its boot ROM, erases and programs the payload (its first 512
// bytes last) and the parameter table, reads the table back and starts the new firmware.
// Prints its own messages.
UpdateResult UpdateFirmware(const FirmwareImage* image);
