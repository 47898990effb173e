// Identifying the switch on the open port: from its running firmware's identity reply,
// or, when it sits in its boot ROM, from the parameter table that the last update left
// in its flash.
#pragma once

#include <cstdint>

#include "image/device_info.h"

// Where every update puts the parameter table: the last 512 bytes of bank A.
constexpr uint32_t kTableFlashAddress = 0x1A07FE00u;
constexpr uint32_t kTableReadBytes = 512;
constexpr uint32_t kCheckRegionMax = 4096;

// The last parameter table read from the switch.
extern uint8_t tableBuffer[kTableReadBytes];
// Detection's own record for the table reader.
extern DeviceInfo tableInfo;

// 0 identified (also in BlankBootLoader mode, where nothing new is known); 1 no port is
// open; 6 nothing answered; 7 an answer came but identification failed.
int DetectDevice();

// Sends "^V$" unless requestSent, then reads and parses the reply. 0 parsed; 1 no reply
// line in time; 2 or 3 as ParseIdentityReply.
int QueryIdentity(DeviceInfo* info, bool requestSent);

// 0 parsed; 1 the line does not begin with the reply prefix; 2 the name is not closed by
// a double quote within 31 characters; 3 characters remain after the last field.
int ParseIdentityReply(DeviceInfo* info, const char* line);

// 0 table read and, for the current format, its firmware check passed; 1 an ISP read
// failed; 3 no recognised table; 4 check length above 4096; 5 the check region's CRC
// differs. info may be null.
int ReadParameterTable(DeviceInfo* info);

// Reads the new table back, tests it and starts the firmware from its entry address.
// 0 started; 1 an ISP read, the unlock or the go command failed; 3, 4, 5 as
// ReadParameterTable; 6 the table has the older format, which holds no start address.
int StartFirmware();
