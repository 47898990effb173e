// The sector map of the LPC18xx/43xx two-bank flash.
//
// Each bank (A at 0x1A000000, B at 0x1B000000) has eight 8 KB sectors followed by seven
// 64 KB sectors, numbered 0 to 14 inside the bank.
#pragma once

#include <cstdint>

constexpr uint32_t kBankA = 0x1A000000u;
constexpr uint32_t kBankB = 0x1B000000u;
constexpr uint32_t kBankBytes = 0x80000u;   // 512 KB
constexpr uint32_t kRamStaging = 0x10000000u;  // where blocks wait before the copy

// 0 and bank (0 = A, 1 = B) and sector set when address is in flash; 1 (outputs left
// untouched) when it is not.
int FlashSectorOf(uint32_t address, uint8_t* bank, uint8_t* sector);
