// The microcontroller's address space as the boot ROM's commands see it: the two flash
// banks, the on-chip SRAM blocks, and (when asked for) an alias of bank A at address 0.
#pragma once

#include <cstdint>
#include <vector>

#include "flash.h"

class MemoryMap {
 public:
  // zeroAlias maps 0x00000000..0x0007FFFF onto bank A for the commands that accept it
  // (C, M, R). Some third-party ISP clients address these parts' flash from 0.
  MemoryMap(Flash& flash, bool zeroAlias);

  Flash& flash() { return flash_; }

  // The address with the zero alias resolved: an address below 512 KB becomes the same
  // offset in bank A when the alias is on; any other address is returned as it is.
  uint32_t Resolve(uint32_t address) const;

  // count bytes of RAM from address, all inside one SRAM block, or null.
  uint8_t* Ram(uint32_t address, uint32_t count);
  // count bytes from address (alias resolved) in RAM or flash, or null.
  const uint8_t* Readable(uint32_t address, uint32_t count);
  // Whether an address can be jumped to: flash, RAM, or 0 (the boot area shadow).
  bool Executable(uint32_t address) const;

  // Power-up: RAM contents are not kept (zero here; real SRAM comes up random).
  void ClearRam();

 private:
  struct RamBlock {
    uint32_t address;
    std::vector<uint8_t> bytes;
  };
  Flash& flash_;
  bool zeroAlias_;
  std::vector<RamBlock> ram_;
};
