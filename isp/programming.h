// Writing one firmware image into the switch through its boot ROM.
#pragma once

#include "image/firmware_image.h"

// Brings the switch into its boot ROM, erases and programs the payload (its first 512
// bytes last) and the parameter table, reads the table back and starts the new firmware.
// 0 success (the link is back at 19200 baud); 1 failure; 2 a compare found a difference.
// Prints its own messages.
int UpdateFirmware(const FirmwareImage* image);
