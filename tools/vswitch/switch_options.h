// vswitch's command line: the options as a user gives them, and their conversion into
// the switch's configuration, its faults and the flash it powers up with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "faults.h"
#include "flash_setup.h"
#include "virtual_switch.h"

struct SwitchOptions {
  // Line and storage.
  std::string linkPath, flashPath, logPath, statsPath;
  bool logTimes = false;
  // Power-up state of the flash.
  FlashSetup flash;
  std::string tableFault;
  std::optional<uint32_t> checkLength;
  // Firmware (the other identity figures go straight into config.identity).
  std::string identityName;
  bool noProgress = false, noReady = false;
  // Boot ROM (the boot code version goes straight into config.rom).
  std::vector<uint32_t> serialNumber;
  // Faults.
  std::vector<std::string> refusals;
  std::vector<uint32_t> compareAddresses;
  std::string resend, interrupt, flood;
  uint64_t silenceAfterWBytes = 0;
  uint32_t silenceAfterCopy = 0, noiseBytes = 0, slowMs = 0;

  // What needs no conversion goes straight into the switch's configuration.
  SwitchConfig config;
};

// Reads the command line into options. -1 when the switch goes on; otherwise the help
// or what is wrong has been printed, and this is the exit status (0 after --help).
int ParseSwitchOptions(int argc, char** argv, SwitchOptions& options);

// Checks what the option declarations cannot and converts the rest: the identity's name,
// the serial number, faults and the flash's power-up state. False with *error set.
bool ConvertOptions(SwitchOptions& options, Faults* faults, std::string* error);
