// Identifying the switch on the open port: from its running firmware's identity reply,
// or, when it sits in its boot ROM, from the parameter table that the last update left
// in its flash.
#pragma once

#include <cstdint>

#include "image/device_info.h"
#include "image/firmware_image.h"
#include "image/image_format.h"

constexpr uint32_t kTableReadBytes = 512;
constexpr uint32_t kCheckRegionMax = 4096;

// Detection's own record for the table reader.
extern DeviceInfo tableInfo;

// Returns identification to its start state: deviceInfo and tableInfo cleared,
// deviceMode NoDevice, and the once-per-run report of a switch that cannot be identified
// armed again.
void ResetIdentification();

enum class DetectResult : int {
  Identified = 0,  // deviceInfo describes the switch (deviceMode RunningFirmware or BootLoader)
  NoPort = 1,      // no port is open
  // A switch is there, in its boot ROM, but its flash holds no parameter table that this
  // utility recognises and no interrupted update of a carried image (deviceMode
  // BlankBootLoader): it cannot be identified, and deviceInfo is left as it was.
  Unidentifiable = 2,
  NoAnswer = 6,       // neither boot ROM nor firmware answered
  NotIdentified = 7,  // an answer came but identification failed
};
DetectResult DetectDevice();

// Whether the switch's flash, read through the boot ROM, holds an update of image that
// stopped after its last firmware block but before its first block went in. A switch in
// its boot ROM with no recognised table is identified by this (DetectDevice).
bool FlashHoldsInterruptedUpdate(const FirmwareImage& image);

enum class IdentityResult : int {
  Parsed = 0,
  NotAReply = 1,           // no reply line in time, or one without the reply prefix
  NameNotClosed = 2,       // no double quote within 31 name characters
  TrailingCharacters = 3,  // characters remain after the last field
};
// Sends "^V$" unless requestSent, then reads and parses the reply, skipping the
// acknowledgements ("^+") before it.
IdentityResult QueryIdentity(DeviceInfo* info, bool requestSent);
IdentityResult ParseIdentityReply(DeviceInfo* info, const char* line);

enum class TableResult : int {
  Ok = 0,            // read (and, for the current format, its firmware check passed); started
  ReadFailed = 1,    // an ISP read failed
  Unrecognised = 3,  // no table this utility knows
  CheckTooLong = 4,  // check length above 4096
  CheckDiffers = 5,  // the check region's CRC differs
  OldFormat = 6,     // StartFirmware only: the older format holds no start address
  StartRefused = 7,  // StartFirmware only: the boot ROM refused the unlock or the go
};
// Reads the parameter table from the switch's flash. info may be null.
TableResult ReadParameterTable(DeviceInfo* info);
// Reads the new table back, tests it and starts the firmware from its entry address.
TableResult StartFirmware();
