#include "image/identify.h"

#include <cstring>

#include "format/parse_number.h"
#include "image/catalogue.h"
#include "image/crc32.h"
#include "image/firmware_image.h"
#include "isp/boot_entry.h"
#include "isp/isp_commands.h"
#include "link/link_io.h"
#include "link/serial_port.h"

DeviceInfo deviceInfo = {};
DeviceMode deviceMode = NoDevice;
DeviceInfo tableInfo = {};
alignas(4) uint8_t tableBuffer[kTableReadBytes] = {};

namespace {

// Identity reply lines: a line of 100 or more characters counts as no line.
constexpr int kReplyBuffer = 100;
constexpr int kNameMax = 31;

const ParameterTable& Table() { return *reinterpret_cast<const ParameterTable*>(tableBuffer); }

void ClearIdentity(DeviceInfo* info) {
  info->version = 0;
  info->family = 0;
  info->modelIndex = 0;
  info->identityByte1 = 0;
  info->identityByte0 = 0;
  info->productName[0] = '\0';
}

}  // namespace

int ParseIdentityReply(DeviceInfo* info, const char* line) {
  if (strncmp(line, "^=V \"", 5) != 0) return 1;
  const char* p = line + 5;
  int copied = 0;
  while (*p != '\0' && *p != '"' && copied < kNameMax) info->productName[copied++] = *p++;
  info->productName[copied] = '\0';
  if (*p != '"') return 2;

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
    info->version += static_cast<uint32_t>(*p - 96) << 12;
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
  if (*p != '\0') return 3;
  info->displayName = info->productName[0] != '\0'
                          ? info->productName
                          : FindModelName(info->family, info->modelIndex);
  return 0;
}

int QueryIdentity(DeviceInfo* info, bool requestSent) {
  if (!requestSent) linkPort.Write("^V$", 3);
  info->family = 0;
  info->modelIndex = 0;
  info->version = 0;
  info->hexField = 0xFFFFFFFFu;
  info->productName[0] = '\0';
  char line[kReplyBuffer];
  if (ReadLineDollar(line, kReplyBuffer) < 0) return 1;
  if (strcmp(line, "^+") == 0 && ReadLineDollar(line, kReplyBuffer) < 0) return 1;
  return ParseIdentityReply(info, line);
}

int ReadParameterTable(DeviceInfo* info) {
  if (info) ClearIdentity(info);
  if (IspReadMemory(tableBuffer, kTableFlashAddress, kTableReadBytes) <= 0) return 1;
  const ParameterTable& table = Table();
  int result = 0;
  if (table.magic == kTableMagic) {
    if (table.tableLength > kTableReadBytes ||
        Crc32Update(0xFFFFFFFFu, tableBuffer, table.tableLength) != kCrc32Residue) {
      PrintString("\nParameter table has a bad CRC!\n");
    }
    if (table.checkLength > kCheckRegionMax) {
      result = 4;
    } else {
      static uint8_t region[kCheckRegionMax];
      if (IspReadMemory(region, table.checkAddress, table.checkLength) <= 0) return 1;
      if (~Crc32Update(0xFFFFFFFFu, region, table.checkLength) != table.checkCrc) result = 5;
    }
  } else if (table.magic != kTableMagicOld) {
    return 3;
  }
  if (info) {
    info->version = result == 0 ? table.version : 0;
    info->family = static_cast<uint16_t>(table.identity >> 24);
    info->modelIndex = static_cast<uint16_t>((table.identity >> 16) & 0xFF);
    info->identityByte1 = static_cast<uint16_t>((table.identity >> 8) & 0xFF);
    info->identityByte0 = static_cast<uint16_t>(table.identity & 0xFF);
    memcpy(info->productName, table.productName, sizeof table.productName);
    info->productName[32] = '\0';
  }
  return result;
}

int DetectDevice() {
  if (linkBaudRate == 0) return 1;
  deviceMode = NoDevice;
  switch (ProbeLink()) {
    case kProbeBootLoader:
      deviceMode = BootLoader;
      break;
    case kProbeFirmware:
      deviceMode = RunningFirmware;
      break;
    default:
      return 6;
  }
  DelayMs(20);
  FlushInput();
  if (deviceMode == RunningFirmware) return QueryIdentity(&deviceInfo, false) == 0 ? 0 : 7;

  int r = ReadParameterTable(&tableInfo);
  if (r == 0 || r == 4 || r == 5) {
    deviceInfo.version = tableInfo.version;
    deviceInfo.family = tableInfo.family;
    deviceInfo.modelIndex = tableInfo.modelIndex;
    deviceInfo.identityByte1 = tableInfo.identityByte1;
    deviceInfo.identityByte0 = tableInfo.identityByte0;
    memcpy(deviceInfo.productName, tableInfo.productName, sizeof deviceInfo.productName);
    deviceInfo.displayName = deviceInfo.productName;
    return 0;
  }
  if (r == 3) {
    deviceMode = BlankBootLoader;
    return 0;
  }
  deviceMode = NoDevice;
  return 7;
}

int StartFirmware() {
  int r = ReadParameterTable(nullptr);
  if (r != 0) return r;
  if (Table().magic != kTableMagic) return 6;
  if (IspUnlock() != 0) return 1;
  if (IspGo(Table().entryAddress & ~1u) != 0) return 1;
  return 0;
}
