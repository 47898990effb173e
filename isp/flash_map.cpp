#include "isp/flash_map.h"

#include <initializer_list>

SectorLookup FlashSectorOf(uint32_t address, uint8_t* bank, uint8_t* sector) {
  uint8_t b = 0;
  for (uint32_t start : {kBankA, kBankB}) {
    // Below the bank's start the difference wraps round to far more than a bank holds.
    uint32_t offset = address - start;
    if (offset < kBankBytes) {
      *bank = b;
      *sector = offset < 0x10000u ? static_cast<uint8_t>((address >> 13) & 7)
                                  : static_cast<uint8_t>(7 + ((address >> 16) & 7));
      return SectorLookup::InMap;
    }
    ++b;
  }
  return SectorLookup::OutsideMap;
}

bool FlashSectorsOf(uint32_t address, uint32_t count, SectorRange* range) {
  uint8_t lastBank;
  return FlashSectorOf(address, &range->bank, &range->first) == SectorLookup::InMap &&
         FlashSectorOf(address + count - 1, &lastBank, &range->last) == SectorLookup::InMap &&
         lastBank == range->bank;
}
