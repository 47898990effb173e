// One operation per boot ROM command that the utility uses, once the boot ROM has been
// synchronised with its echo switched off. None retries; the first failure is returned.
#pragma once

#include <cstdint>

// The unlock code the NXP LPC ISP protocol specifies for "U".
constexpr uint32_t kIspUnlockCode = 23130;
// Bytes moved by one R or W command: 20 UU lines of 45 bytes, one checksum.
constexpr uint32_t kIspChunkBytes = 900;

// U, G, P, E and C: the boot ROM's status line said success, or it did not.
enum class IspResult : int { Ok = 0, Failed = 1 };

// The LPC18xx/43xx's Cortex-M core runs Thumb code only. Its vector table, and the
// parameter table after it, hold code addresses with bit 0 set to say so; the boot ROM's
// G command wants the address with that bit clear and the mode letter 'T' instead.
constexpr uint32_t kThumbBit = 1u;
constexpr char kGoThumbMode = 'T';

IspResult IspUnlock();
// Starts the code at address (bit 0 clear) in Thumb mode. Silence counts as Ok: the ROM
// may jump before its answer has left the UART.
IspResult IspGo(uint32_t address);
IspResult IspPrepareSectors(uint8_t first, uint8_t last, uint8_t bank);
IspResult IspEraseSectors(uint8_t first, uint8_t last, uint8_t bank);
IspResult IspCopyRamToFlash(uint32_t flashAddress, uint32_t ramAddress, uint32_t count);

enum class CompareResult : int {
  Equal = 0,
  Failed = 1,   // refused or not answered
  Differs = 2,  // the compare-error code 10 (its offset line has been read and ignored)
};
CompareResult IspCompare(uint32_t first, uint32_t second, uint32_t count);

// Reads count bytes from the device into destination. The total read; 0 when the first
// chunk failed or a line went missing; minus the bytes read when a later chunk was refused.
int32_t IspReadMemory(uint8_t* destination, uint32_t address, uint32_t count);

enum class RamWriteResult : int {
  Done = 0,
  NoReply = 1,  // a reply went missing
  Refused = 2,  // the command or a chunk was refused
};
// Writes count bytes into the device's RAM.
RamWriteResult IspWriteRam(uint32_t address, const uint8_t* source, uint32_t count);

enum class BlockResult : int {
  Done = 0,
  RamWriteFailed = 1,
  FlashDiffers = 2,
  CrossesBank = 3,  // the block does not lie inside one flash bank
  Refused = 4,      // a prepare, copy or compare was refused or not answered
};
// Stages one block in RAM and copies it into flash at address, then compares.
BlockResult ProgramFlashBlock(uint32_t address, const uint8_t* source, uint32_t count);
