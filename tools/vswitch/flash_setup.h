// Setting up the flash for a scenario before the switch powers up: firmware installed
// from an image as an update would have left it, and parameter tables damaged in the
// ways a field unit can show.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "flash.h"

// Programs the image's payload at its firmware address and its parameter table at its
// table address, erasing the sectors they fall in first. Checks the image's CRCs and
// that both regions lie in flash. *tableAddress receives the image's table address.
bool InstallImage(Flash& flash, const std::vector<uint8_t>& image, uint32_t* tableAddress,
                  std::string* error);

enum class TableFault {
  kNone,
  kBlank,     // the table's 512 bytes erased: no recognisable table
  kOld,       // the older format's magic, 0x1E3CA501
  kBadCrc,    // the table's own CRC wrong
  kCheckCrc,  // the firmware check region's CRC wrong (the table's own CRC made right)
};

bool ParseTableFault(const std::string& text, TableFault* fault);

// Damages the table at address; the table's own CRC is recomputed unless the fault is
// about that CRC.
bool ApplyTableFault(Flash& flash, uint32_t address, TableFault fault, std::string* error);

// Sets the table's checkLength and recomputes the table's CRC.
bool SetTableCheckLength(Flash& flash, uint32_t address, uint32_t length, std::string* error);

// The flash as a scenario wants it at power-up, applied in this order.
struct FlashSetup {
  bool erase = false;           // erase both banks
  std::string installPath;      // an image to install (empty: none)
  bool setCheckLength = false;  // give the table this checkLength
  uint32_t checkLength = 0;
  TableFault tableFault = TableFault::kNone;
};

// Applies setup to flash; *tableAddress is where the table is (the installed image
// says; otherwise it is left as it is). False with *error set.
bool SetUpFlash(Flash& flash, const FlashSetup& setup, uint32_t* tableAddress, std::string* error);
