#include "image/identify.h"

#include <algorithm>
#include <cstring>

#include "format/parse_number.h"
#include "image/catalogue.h"
#include "image/crc32.h"
#include "image/firmware_image.h"
#include "image/image_table.h"
#include "isp/boot_entry.h"
#include "isp/device_mode.h"
#include "isp/isp_commands.h"
#include "link/link_io.h"
#include "link/serial_port.h"

DeviceInfo deviceInfo = {};
DeviceInfo tableInfo = {};

namespace {

// The last parameter table read from the switch. Nothing looks at it before a read has
// filled all of it, so it is never cleared.
alignas(4) uint8_t tableBuffer[kTableReadBytes];

// Identity reply lines: a line of 100 or more characters counts as no line.
constexpr int kReplyBuffer = 100;
constexpr int kNameMax = 31;
// Acknowledgements ("^+") skipped before the identity reply, each waiting at most a
// line's time; a switch that only ever acknowledges is not identified
// (doc/differences.md).
constexpr int kAcknowledgementsMax = 8;
// The first block of the payload, written last by every update.
constexpr uint32_t kFirstBlock = 512;

const ParameterTable& Table() { return *reinterpret_cast<const ParameterTable*>(tableBuffer); }

bool blankReported = false;

// The identity fields of a parameter table, with the version given.
void FillFromTable(DeviceInfo* info, const ParameterTable& table, uint32_t version) {
  info->version = version;
  info->family = static_cast<uint16_t>(table.identity >> 24);
  info->modelIndex = static_cast<uint16_t>((table.identity >> 16) & 0xFF);
  info->identityByte1 = static_cast<uint16_t>((table.identity >> 8) & 0xFF);
  info->identityByte0 = static_cast<uint16_t>(table.identity & 0xFF);
  memcpy(info->productName, table.productName, sizeof table.productName);
  info->productName[32] = '\0';
}

// What detection takes over from the table reader's record (not hexField).
void CopyIdentity(DeviceInfo* to, const DeviceInfo& from) {
  to->version = from.version;
  to->family = from.family;
  to->modelIndex = from.modelIndex;
  to->identityByte1 = from.identityByte1;
  to->identityByte0 = from.identityByte0;
  memcpy(to->productName, from.productName, sizeof to->productName);
}

void ClearIdentity(DeviceInfo* info) {
  info->version = 0;
  info->family = 0;
  info->modelIndex = 0;
  info->identityByte1 = 0;
  info->identityByte0 = 0;
  info->productName[0] = '\0';
}

}  // namespace

void ResetIdentification() {
  deviceInfo = {};
  tableInfo = {};
  deviceMode = NoDevice;
  blankReported = false;
}

IdentityResult ParseIdentityReply(DeviceInfo* info, const char* line) {
  if (strncmp(line, "^=V \"", 5) != 0) return IdentityResult::NotAReply;
  const char* p = line + 5;
  int copied = 0;
  while (*p != '\0' && *p != '"' && copied < kNameMax) info->productName[copied++] = *p++;
  info->productName[copied] = '\0';
  if (*p != '"') return IdentityResult::NameNotClosed;

  auto skip = [&p]() {
    if (*p != '\0') ++p;
  };
  auto number = [&p](int base) {
    const char* end = nullptr;
    uint32_t value = ParseUnsigned32(p, &end, base);
    p = end;
    return value;
  };
  skip();  // the closing double quote
  skip();  // the separator
  info->version = number(10) << 24;
  skip();
  info->version += number(10) << 16;
  // Patch numbers above 63 and letters after 'o' run into the neighbouring fields of the
  // version word. They are taken as they come rather than refused: the switch's own
  // firmware made the text, and refusing it would leave the switch unidentifiable.
  if (*p == '.') {
    skip();
    info->version += number(10);
  }
  if (*p >= 'a' && *p <= 'z') {
    info->version += (static_cast<uint32_t>(*p) - kVersionLetterBase) << 12;
    skip();
  }
  if (*p == '(') {
    // "(Beta)". A '(' without its ')' ends at the end of the line, and the reply is
    // accepted: the version before it was complete.
    while (*p != '\0' && *p != ')') ++p;
    skip();
  }
  if (*p == ',') {
    skip();
    info->family = static_cast<uint16_t>(number(10));
    skip();
    info->modelIndex = static_cast<uint16_t>(number(10));
    skip();
    info->hexField = number(16);
  }
  if (*p != '\0') return IdentityResult::TrailingCharacters;
  info->displayName = info->productName[0] != '\0' ? info->productName
                                                   : FindModelName(info->family, info->modelIndex);
  return IdentityResult::Parsed;
}

IdentityResult QueryIdentity(DeviceInfo* info, bool requestSent) {
  if (!requestSent) linkPort.Write("^V$", 3);
  info->family = 0;
  info->modelIndex = 0;
  info->version = 0;
  info->hexField = 0xFFFFFFFFu;
  info->productName[0] = '\0';
  char line[kReplyBuffer];
  for (int acknowledgements = 0;; ++acknowledgements) {
    if (ReadLineDollar(line, kReplyBuffer) < 0) return IdentityResult::NotAReply;
    if (strcmp(line, "^+") != 0) break;
    if (acknowledgements == kAcknowledgementsMax) return IdentityResult::NotAReply;
  }
  return ParseIdentityReply(info, line);
}

TableResult ReadParameterTable(DeviceInfo* info) {
  if (info) ClearIdentity(info);
  if (IspReadMemory(tableBuffer, kTableFlashAddress, kTableReadBytes) !=
      static_cast<int32_t>(kTableReadBytes)) {
    return TableResult::ReadFailed;
  }
  const ParameterTable& table = Table();
  TableResult result = TableResult::Ok;
  if (table.magic == kTableMagic) {
    if (table.tableLength > kTableReadBytes ||
        Crc32Update(0xFFFFFFFFu, tableBuffer, table.tableLength) != kCrc32Residue) {
      PrintString("\nParameter table has a bad CRC!\n");
    }
    if (table.checkLength > kCheckRegionMax) {
      result = TableResult::CheckTooLong;
    } else {
      static uint8_t region[kCheckRegionMax];
      if (IspReadMemory(region, table.checkAddress, table.checkLength) <= 0) {
        return TableResult::ReadFailed;
      }
      if (~Crc32Update(0xFFFFFFFFu, region, table.checkLength) != table.checkCrc) {
        result = TableResult::CheckDiffers;
      }
    }
  } else if (table.magic != kTableMagicOld) {
    return TableResult::Unrecognised;
  }
  if (info) FillFromTable(info, table, result == TableResult::Ok ? table.version : 0);
  return result;
}

namespace {

// Whether every byte read from the flash is in the erased state.
bool Erased(const uint8_t* from, const uint8_t* to) {
  return std::all_of(from, to, [](uint8_t byte) { return byte == 0xFF; });
}

}  // namespace

// The first block still erased (it is written last) and the last firmware block equal to
// the image's. Blocks go in in address order and each was compared after its copy, so the
// last one proves that all the firmware before it went in too.
bool FlashHoldsInterruptedUpdate(const FirmwareImage& image) {
  const ImageHeader& h = *image.header;
  if (h.firmwareLength <= kFirstBlock) return false;
  static uint8_t block[kFirstBlock];
  if (IspReadMemory(block, h.firmwareAddress, kFirstBlock) != static_cast<int32_t>(kFirstBlock)) {
    return false;
  }
  if (!Erased(block, block + kFirstBlock)) return false;
  // The last block holds the payload's tail, filled up with 0xFF as it was written.
  uint32_t lastOffset = (h.firmwareLength - 1) / kFirstBlock * kFirstBlock;
  uint32_t tail = h.firmwareLength - lastOffset;
  if (IspReadMemory(block, h.firmwareAddress + lastOffset, kFirstBlock) !=
      static_cast<int32_t>(kFirstBlock)) {
    return false;
  }
  return memcmp(block, image.firmware + lastOffset, tail) == 0 &&
         Erased(block + tail, block + kFirstBlock);
}

namespace {

// A switch in its boot ROM whose flash holds no recognised parameter table. When that
// flash holds an update of a carried image that stopped between the erase of the table's
// sector and the last block (the table and the first block are written last), the switch
// is taken for that image's product with no version, and the update is offered again
// (doc/differences.md).
bool IdentifyInterruptedUpdate() {
  for (int i = 0; i < kImageTableCount; ++i) {
    FirmwareImage carried;
    if (LoadCarriedImage(i, "", &carried) != ImageCheck::Valid) continue;
    if (!FlashHoldsInterruptedUpdate(carried)) continue;
    const auto& table = *reinterpret_cast<const ParameterTable*>(carried.parameterTable);
    FillFromTable(&deviceInfo, table, 0);
    deviceInfo.displayName = deviceInfo.productName;
    PrintString("The switch was left in its boot loader by an interrupted update of this "
                "firmware.\n");
    return true;
  }
  return false;
}

}  // namespace

DetectResult DetectDevice() {
  if (linkBaudRate == 0) return DetectResult::NoPort;
  deviceMode = NoDevice;
  switch (ProbeLink()) {
    case ProbeResult::BootLoader: deviceMode = BootLoader; break;
    case ProbeResult::Firmware: deviceMode = RunningFirmware; break;
    case ProbeResult::Nothing: return DetectResult::NoAnswer;
  }
  DelayMs(kSettleBeforeCommandMs);
  FlushInput();
  if (deviceMode == RunningFirmware) {
    return QueryIdentity(&deviceInfo, false) == IdentityResult::Parsed
               ? DetectResult::Identified
               : DetectResult::NotIdentified;
  }
  switch (ReadParameterTable(&tableInfo)) {
    case TableResult::Ok:
    case TableResult::CheckTooLong:
    case TableResult::CheckDiffers:
      CopyIdentity(&deviceInfo, tableInfo);
      deviceInfo.displayName = deviceInfo.productName;
      return DetectResult::Identified;
    case TableResult::Unrecognised:
      if (IdentifyInterruptedUpdate()) return DetectResult::Identified;
      deviceMode = BlankBootLoader;
      if (!blankReported) {
        // Said once (doc/differences.md): the loop looks at such a switch again and
        // again, in silence.
        PrintString("The switch is in its boot loader, but its flash holds no parameter table "
                    "that this utility recognises: it cannot be identified.\n");
        blankReported = true;
      }
      return DetectResult::Unidentifiable;
    default: deviceMode = NoDevice; return DetectResult::NotIdentified;
  }
}

TableResult StartFirmware() {
  TableResult r = ReadParameterTable(nullptr);
  if (r != TableResult::Ok) return r;
  if (Table().magic != kTableMagic) return TableResult::OldFormat;
  if (IspUnlock() != IspResult::Ok) return TableResult::StartRefused;
  if (IspGo(Table().entryAddress & ~kThumbBit) != IspResult::Ok) return TableResult::StartRefused;
  return TableResult::Ok;
}
