// The microcontroller's on-chip flash: two banks of 512 KB, each with fifteen sectors
// (eight of 8 KB, then seven of 64 KB).
//
// Flash behaves as flash: an erase sets a sector to 0xFF, programming can only clear
// bits (a copy onto unerased flash ANDs the new bytes into the old ones). The contents
// live in a file mapped into memory, bank A first, then bank B, so that every change
// is in the file the moment it is made: a test that kills the process mid-update finds
// exactly what the chip held, and the next start of the program is a power cycle.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr uint32_t kBankAddress[2] = {0x1A000000u, 0x1B000000u};
constexpr uint32_t kBankBytes = 0x80000u;
constexpr int kSectorsPerBank = 15;

// Where a sector starts inside its bank, and how long it is.
uint32_t SectorOffset(int sector);
uint32_t SectorBytes(int sector);
// The sector that holds a byte offset inside a bank.
int SectorAt(uint32_t offsetInBank);

class Flash {
 public:
  Flash() = default;
  Flash(const Flash&) = delete;
  Flash& operator=(const Flash&) = delete;
  ~Flash();

  // Maps path (created blank, or padded with 0xFF when shorter than two banks), or,
  // with an empty path, memory that is lost at exit. False with *error set on failure,
  // including a file larger than two banks.
  bool Open(const std::string& path, std::string* error);
  // Writes everything back and unmaps.
  void Close();
  void Sync();

  uint8_t* Bank(int bank) { return bytes_ + static_cast<size_t>(bank) * kBankBytes; }
  const uint8_t* Bank(int bank) const { return bytes_ + static_cast<size_t>(bank) * kBankBytes; }

  // Finds the bank that holds count bytes from address (all of them in one bank).
  static bool Locate(uint32_t address, uint32_t count, int* bank, uint32_t* offset);

  void EraseSectors(int bank, int first, int last);
  void EraseAll();
  // Programs n bytes at offset in bank: each flash byte becomes old AND new.
  void Program(int bank, uint32_t offset, const uint8_t* data, size_t n);
  // Sets bytes as a programming fixture would (erase-free), for setting up scenarios.
  void Store(int bank, uint32_t offset, const uint8_t* data, size_t n);

  // The boot ROM's test for code worth running: the first eight words of the bank sum
  // to zero (word 7 holds the two's complement of the sum of words 0 to 6).
  bool VectorTableValid(int bank) const;

 private:
  uint8_t* bytes_ = nullptr;
  bool fileBacked_ = false;
};
