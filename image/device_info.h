// What the utility knows about the switch on the open port.
#pragma once

#include <cstdint>

struct DeviceInfo {
  uint16_t family;          // 'Z' or 'V'; 0 until identified
  uint16_t modelIndex;      // from 1; 0 until identified
  uint16_t identityByte1;   // from a parameter table only
  uint16_t identityByte0;   // from a parameter table only
  uint32_t hexField;        // the identity reply's hexadecimal number; 0xFFFFFFFF when none
  uint32_t version;         // firmware version word in the switch; 0 when unknown
  const char* displayName;  // the name the switch is shown under; may be null
  char productName[33];     // what the switch calls itself; byte 32 is always 0
};

// The program's single record of the switch on the open port, cleared at start.
extern DeviceInfo deviceInfo;
