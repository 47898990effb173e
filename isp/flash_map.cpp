#include "isp/flash_map.h"

SectorLookup FlashSectorOf(uint32_t address, uint8_t* bank, uint8_t* sector) {
  const uint32_t banks[2] = {kBankA, kBankB};
  for (uint8_t b = 0; b < 2; ++b) {
    uint32_t offset = address - banks[b];
    if (address < banks[b] || offset >= kBankBytes) continue;
    *bank = b;
    *sector = offset < 0x10000u ? static_cast<uint8_t>((address >> 13) & 7)
                                : static_cast<uint8_t>(7 + ((address >> 16) & 7));
    return SectorLookup::InMap;
  }
  return SectorLookup::OutsideMap;
}

bool FlashSectorsOf(uint32_t address, uint32_t count, SectorRange* range) {
  uint8_t lastBank;
  return FlashSectorOf(address, &range->bank, &range->first) == SectorLookup::InMap &&
         FlashSectorOf(address + count - 1, &lastBank, &range->last) == SectorLookup::InMap &&
         lastBank == range->bank;
}
