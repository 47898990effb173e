// One operation per boot ROM command that the utility uses, once the boot ROM has been
// synchronised with its echo switched off. None retries; the first failure is returned.
#pragma once

#include <cstdint>

// The unlock code the NXP LPC ISP protocol specifies for "U".
constexpr uint32_t kIspUnlockCode = 23130;
// Bytes moved by one R or W command: 20 UU lines of 45 bytes, one checksum.
constexpr uint32_t kIspChunkBytes = 900;

int IspUnlock();                                       // 0, or 1 when not accepted
int IspGo(uint32_t address);                           // 0 when accepted or no answer, else 1
int IspPrepareSectors(uint8_t first, uint8_t last, uint8_t bank);  // 0 or 1
int IspEraseSectors(uint8_t first, uint8_t last, uint8_t bank);    // 0 or 1
int IspCopyRamToFlash(uint32_t flashAddress, uint32_t ramAddress, uint32_t count);  // 0 or 1
// 0 equal; 2 a difference (code 10, its offset line read and ignored); 1 anything else.
int IspCompare(uint32_t first, uint32_t second, uint32_t count);

// Reads count bytes from the device into destination. The total read; 0 when the first
// chunk failed or a line went missing; minus the bytes read when a later chunk was refused.
int32_t IspReadMemory(uint8_t* destination, uint32_t address, uint32_t count);

// Writes count bytes into the device's RAM. 0 done; 1 a reply went missing; 2 the command
// or a chunk was refused.
int IspWriteRam(uint32_t address, const uint8_t* source, uint32_t count);

// Stages one block in RAM and copies it into flash at address, then compares.
// 0 done; 1 the RAM write failed; 2 flash differs; 3 the block is not inside one bank;
// 4 a prepare, copy or compare was refused or not answered.
int ProgramFlashBlock(uint32_t address, const uint8_t* source, uint32_t count);
