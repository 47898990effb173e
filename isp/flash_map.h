// The sector map of the LPC18xx/43xx two-bank flash.
//
// Each bank (A at 0x1A000000, B at 0x1B000000) has eight 8 KB sectors followed by seven
// 64 KB sectors, numbered 0 to 14 inside the bank.
#pragma once

#include <cstdint>

constexpr uint32_t kBankA = 0x1A000000u;
constexpr uint32_t kBankB = 0x1B000000u;
constexpr uint32_t kBankBytes = 0x80000u;      // 512 KB
constexpr uint32_t kRamStaging = 0x10000000u;  // where blocks wait before the copy

enum class SectorLookup : int { InMap = 0, OutsideMap = 1 };

// The bank (0 = A, 1 = B) and sector of a flash address; outputs untouched when the
// address is outside the map.
SectorLookup FlashSectorOf(uint32_t address, uint8_t* bank, uint8_t* sector);

// The sectors that hold count bytes from address.
struct SectorRange {
  uint8_t bank;
  uint8_t first;
  uint8_t last;
};
// False when the bytes do not all lie in one bank of the map (count must not be 0).
bool FlashSectorsOf(uint32_t address, uint32_t count, SectorRange* range);
