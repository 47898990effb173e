#include "isp/programming.h"

#include <cstring>

#include "image/identify.h"
#include "isp/boot_entry.h"
#include "isp/flash_map.h"
#include "isp/isp_commands.h"
#include "link/link_io.h"
#include "link/serial_port.h"

namespace {

constexpr uint32_t kBlockLarge = 4096;
constexpr uint32_t kBlockMedium = 1024;
constexpr uint32_t kBlockSmall = 512;
const char kLabel[] = "Updating";

// One area of flash being written: where it goes, where it comes from, what is left.
struct Area {
  uint32_t address;
  const uint8_t* source;
  uint32_t remaining;
};

// Prepares and erases the sectors that hold [address, address + length). Error codes as
// in UpdateFirmware: 3 the area is not inside one bank, 4 a command was refused.
int EraseArea(uint32_t address, uint32_t length) {
  uint8_t firstBank, firstSector, lastBank, lastSector;
  if (FlashSectorOf(address, &firstBank, &firstSector) != 0 ||
      FlashSectorOf(address + length - 1, &lastBank, &lastSector) != 0 ||
      firstBank != lastBank) {
    return 3;
  }
  // The erase goes out even when the prepare was refused: the boot ROM then refuses the
  // erase too, and nothing is left half done.
  int prepared = IspPrepareSectors(firstSector, lastSector, firstBank);
  int erased = IspEraseSectors(firstSector, lastSector, firstBank);
  return (prepared != 0 || erased != 0) ? 4 : 0;
}

// Writes blocks of size while at least size bytes remain; showProgress after each.
int WriteBlocks(Area* area, uint32_t size, uint32_t totalLength, bool showProgress) {
  int error = 0;
  while (error == 0 && area->remaining >= size) {
    error = ProgramFlashBlock(area->address, area->source, size);
    if (error == 0) {
      area->address += size;
      area->source += size;
      area->remaining -= size;
    }
    if (showProgress) {
      uint32_t percent = (totalLength - area->remaining) * 100u / totalLength;
      PrintFormatted("\r%s firmware: %3u%% complete.", kLabel, percent);
    }
  }
  return error;
}

// Writes what is left of an area: 4096-byte blocks (when allowed), 1024, 512, and a last
// block filled up with 0xFF.
int WriteArea(Area* area, bool largeBlocks, uint32_t totalLength) {
  int error = 0;
  if (largeBlocks) {
    error = WriteBlocks(area, kBlockLarge, totalLength, true);
    if (error == 0) error = WriteBlocks(area, kBlockMedium, totalLength, false);
  }
  if (error == 0) error = WriteBlocks(area, kBlockSmall, totalLength, false);
  if (error == 0 && area->remaining > 0) {
    uint8_t tail[kBlockSmall];
    memcpy(tail, area->source, area->remaining);
    memset(tail + area->remaining, 0xFF, kBlockSmall - area->remaining);
    error = ProgramFlashBlock(area->address, tail, kBlockSmall);
  }
  return error;
}

// The block scheme needs a payload of at least one 512-byte block (it is written last
// and makes the chip bootable) and areas on 512-byte boundaries, the smallest unit the
// boot ROM copies. An image that breaks this is refused before anything is sent.
bool ImageFitsTheBlocks(const ImageHeader& h) {
  return h.firmwareLength >= kBlockSmall && h.firmwareAddress % kBlockSmall == 0 &&
         h.tableAddress % kBlockSmall == 0 && h.tableLength > 0;
}

}  // namespace

int UpdateFirmware(const FirmwareImage* image) {
  if (image->image == nullptr) {
    PrintString("Error: No firmware file available to download.\n");
    return 1;
  }
  const ImageHeader& h = *image->header;
  if (!ImageFitsTheBlocks(h)) {
    PrintString(
        "Error: The firmware image cannot be programmed: its payload is shorter than 512 "
        "bytes or it does not start on a 512-byte boundary.\n");
    return 1;
  }
  int r = EnterBootLoader();
  if (r != 0) {
    PrintFormatted("Error %u: Could not connect to the switch! Check cables and power.\n", r);
    return 1;
  }
  IspUnlock();
  int error = EraseArea(h.firmwareAddress, h.firmwareLength);
  PrintFormatted("\n%s firmware:   0%% complete.", kLabel);

  // The payload's first 512 bytes hold the vector table whose checksum makes the chip
  // run the firmware at power-up. They stay erased until everything else is in, so a
  // switch that loses power half way stays in its boot ROM, where it can be updated.
  Area firmware{h.firmwareAddress + kBlockSmall, image->firmware + kBlockSmall,
                h.firmwareLength - kBlockSmall};
  if (error == 0) error = WriteArea(&firmware, true, h.firmwareLength);
  if (error == 0) error = EraseArea(h.tableAddress, h.tableLength);
  if (error == 0) {
    Area table{h.tableAddress, image->parameterTable, h.tableLength};
    error = WriteArea(&table, false, h.firmwareLength);
  }
  if (error == 0) error = ProgramFlashBlock(h.firmwareAddress, image->firmware, kBlockSmall);

  if (error == 2) {
    PrintString("\n\nError: A mismatch occurred while verifying this update.\n");
    return 2;
  }
  if (error != 0) {
    PrintFormatted("\n\nError %u: Lost the connection to the switch! Check cables and power.\n",
                   error);
    return 1;
  }
  PrintFormatted("\r%s firmware: 100%% complete.\n", kLabel);
  DelayMs(100);
  int s = StartFirmware();
  if (s == 0) {
    linkPort.SetBaudRate(19200);
    linkBaudRate = 19200;
    DelayMs(100);
    DelayMs(100);
    return 0;
  }
  switch (s) {
    case 1:
      PrintString(
          "\nFailed to update firmware!\nVerify cables have not come loose, and the switch still "
          "has power.\n");
      break;
    case 3:
    case 6:
      PrintString("\nThe firmware is not fully loaded, try reloading the firmware.\n");
      break;
    default:
      PrintString("\nThe firmware failed the CRC test! Try reloading the firmware.\n");
      break;
  }
  return 1;
}
