#include "isp/programming.h"

#include <cstring>

#include "image/identify.h"
#include "isp/boot_entry.h"
#include "isp/flash_map.h"
#include "isp/isp_commands.h"
#include "link/console_keys.h"
#include "link/link_io.h"
#include "link/serial_port.h"

namespace {

constexpr uint32_t kBlockLarge = 4096;
constexpr uint32_t kBlockMedium = 1024;
constexpr uint32_t kBlockSmall = 512;
const char kLabel[] = "Updating";
// The pauses around the start of the new firmware, each taken once, at the lengths real
// switches have always seen.
// Between the last block's compare and the read-back of the parameter table. The boot ROM
// answers a copy or a compare only when it is done, so this is not for the flash: it only
// keeps the read-back where switches have always had it.
constexpr int32_t kBeforeReadBackMs = 100;
// After the go, first: the chip leaves its boot ROM (whose last "0" went out at 115200)
// and the new firmware's reset handler sets up its clocks and its UART at 19200 baud, the
// rate the link has just been put back to; until then the firmware cannot hear or speak.
constexpr int32_t kFirmwareBootMs = 100;
// After the go, second: the firmware starts its console and the reload of its DSPs; the
// console wait, whose 13 seconds count from its first look, begins after this.
constexpr int32_t kConsoleStartMs = 100;

// One area of flash being written: where it goes, where it comes from, what is left.
struct Area {
  uint32_t address;
  const uint8_t* source;
  uint32_t remaining;
};

// Prepares and erases the sectors that hold [address, address + length).
BlockResult EraseArea(uint32_t address, uint32_t length) {
  SectorRange sectors;
  if (!FlashSectorsOf(address, length, &sectors)) return BlockResult::CrossesBank;
  // The erase goes out even when the prepare was refused: the boot ROM then refuses the
  // erase too, and nothing is left half done.
  IspResult prepared = IspPrepareSectors(sectors.first, sectors.last, sectors.bank);
  IspResult erased = IspEraseSectors(sectors.first, sectors.last, sectors.bank);
  return (prepared != IspResult::Ok || erased != IspResult::Ok) ? BlockResult::Refused
                                                                : BlockResult::Done;
}

// Writes blocks of size while at least size bytes remain; showProgress after each.
BlockResult WriteBlocks(Area* area, uint32_t size, uint32_t totalLength, bool showProgress) {
  BlockResult error = BlockResult::Done;
  while (error == BlockResult::Done && area->remaining >= size) {
    error = ProgramFlashBlock(area->address, area->source, size);
    if (error == BlockResult::Done) {
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
BlockResult WriteArea(Area* area, bool largeBlocks, uint32_t totalLength) {
  BlockResult error = BlockResult::Done;
  if (largeBlocks) {
    error = WriteBlocks(area, kBlockLarge, totalLength, true);
    if (error == BlockResult::Done) error = WriteBlocks(area, kBlockMedium, totalLength, false);
  }
  if (error == BlockResult::Done) error = WriteBlocks(area, kBlockSmall, totalLength, false);
  if (error == BlockResult::Done && area->remaining > 0) {
    uint8_t tail[kBlockSmall];
    memcpy(tail, area->source, area->remaining);
    memset(tail + area->remaining, 0xFF, kBlockSmall - area->remaining);
    error = ProgramFlashBlock(area->address, tail, kBlockSmall);
  }
  return error;
}

// The message of a start that failed, by the table reader's result.
const char* StartFailureText(TableResult result) {
  switch (result) {
    case TableResult::Unrecognised:
    case TableResult::OldFormat:
      return "\nThe firmware is not fully loaded, try reloading the firmware.\n";
    case TableResult::CheckTooLong:
    case TableResult::CheckDiffers:
      return "\nThe firmware failed the CRC test! Try reloading the firmware.\n";
    case TableResult::ReadFailed:
    case TableResult::StartRefused:
    case TableResult::Ok: break;
  }
  return "\nFailed to update firmware!\nVerify cables have not come loose, and the switch "
         "still has power.\n";
}

}  // namespace

bool ImageFitsBlockScheme(const char* label, const FirmwareImage* image) {
  const ImageHeader& h = *image->header;
  const char* wrong = nullptr;
  if (h.firmwareLength < kBlockSmall) {
    wrong = "its payload is shorter than 512 bytes";
  } else if (h.firmwareAddress % kBlockSmall != 0) {
    wrong = "its payload does not start on a 512-byte boundary of flash";
  } else if (h.tableLength == 0) {
    wrong = "its parameter table is empty";
  } else if (h.tableAddress != kTableFlashAddress) {
    // The switch reads its table at one place only, and identification looks there: a
    // table written anywhere else would leave a switch that no later run can identify.
    wrong = "its parameter table is not at 0x1A07FE00, where the switch reads it";
  }
  if (wrong == nullptr) return true;
  PrintFormatted("\nError: The firmware \"%s\" cannot be programmed: %s.\n", label, wrong);
  return false;
}

UpdateResult UpdateFirmware(const FirmwareImage* image) {
  if (image->image == nullptr) {
    PrintString("Error: No firmware file available to download.\n");
    return UpdateResult::Failed;
  }
  // Start-up has already refused an image that does not fit; this keeps any other caller
  // from sending half an update.
  if (!ImageFitsBlockScheme("Firmware", image)) return UpdateResult::Failed;
  const ImageHeader& h = *image->header;
  BootEntryResult entry = EnterBootLoader();
  if (entry != BootEntryResult::Synchronised) {
    PrintFormatted("Error %u: Could not connect to the switch! Check cables and power.\n",
                   static_cast<unsigned>(entry));
    return UpdateResult::Failed;
  }
  // From the unlock to the start of the new firmware the switch's flash is being
  // rewritten: a program ended meanwhile says that the update was interrupted.
  SetProgrammingUnderway(true);
  IspUnlock();
  BlockResult error = EraseArea(h.firmwareAddress, h.firmwareLength);
  PrintFormatted("\n%s firmware:   0%% complete.", kLabel);

  // The payload's first 512 bytes hold the vector table whose checksum makes the chip
  // run the firmware at power-up. They stay erased until everything else is in, so a
  // switch that loses power half way stays in its boot ROM, where it can be updated.
  Area firmware{h.firmwareAddress + kBlockSmall, image->firmware + kBlockSmall,
                h.firmwareLength - kBlockSmall};
  if (error == BlockResult::Done) error = WriteArea(&firmware, true, h.firmwareLength);
  if (error == BlockResult::Done) error = EraseArea(h.tableAddress, h.tableLength);
  if (error == BlockResult::Done) {
    Area table{h.tableAddress, image->parameterTable, h.tableLength};
    error = WriteArea(&table, false, h.firmwareLength);
  }
  if (error == BlockResult::Done) {
    error = ProgramFlashBlock(h.firmwareAddress, image->firmware, kBlockSmall);
  }

  if (error != BlockResult::Done) SetProgrammingUnderway(false);
  if (error == BlockResult::FlashDiffers) {
    PrintString("\n\nError: A mismatch occurred while verifying this update.\n");
    return UpdateResult::Mismatch;
  }
  if (error != BlockResult::Done) {
    PrintFormatted("\n\nError %u: Lost the connection to the switch! Check cables and power.\n",
                   static_cast<unsigned>(error));
    return UpdateResult::Failed;
  }
  PrintFormatted("\r%s firmware: 100%% complete.\n", kLabel);
  DelayMs(kBeforeReadBackMs);
  TableResult started = StartFirmware();
  SetProgrammingUnderway(false);
  if (started != TableResult::Ok) {
    PrintString(StartFailureText(started));
    return UpdateResult::Failed;
  }
  SetLinkBaudRate(19200);
  DelayMs(kFirmwareBootMs);
  DelayMs(kConsoleStartMs);
  return UpdateResult::Updated;
}
