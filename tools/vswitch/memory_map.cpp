#include "memory_map.h"

#include <algorithm>

MemoryMap::MemoryMap(Flash& flash, bool zeroAlias) : flash_(flash), zeroAlias_(zeroAlias) {
  // Local SRAM (32 KB and 40 KB) and AHB SRAM (64 KB) of the dual-bank 1 MB parts. The
  // ROM keeps its own variables at 0x10080000..0x100801FF; it does not refuse writes
  // there, so neither does this map.
  ram_.push_back({0x10000000u, std::vector<uint8_t>(0x8000)});
  ram_.push_back({0x10080000u, std::vector<uint8_t>(0xA000)});
  ram_.push_back({0x20000000u, std::vector<uint8_t>(0x10000)});
}

uint32_t MemoryMap::Resolve(uint32_t address) const {
  return zeroAlias_ && address < kBankBytes ? kBankAddress[0] + address : address;
}

uint8_t* MemoryMap::Ram(uint32_t address, uint32_t count) {
  for (auto& block : ram_) {
    uint32_t size = static_cast<uint32_t>(block.bytes.size());
    if (address >= block.address && address - block.address < size &&
        count <= size - (address - block.address)) {
      return block.bytes.data() + (address - block.address);
    }
  }
  return nullptr;
}

const uint8_t* MemoryMap::Readable(uint32_t address, uint32_t count) {
  if (uint8_t* ram = Ram(address, count)) return ram;
  int bank = 0;
  uint32_t offset = 0;
  if (zeroAlias_ && address < kBankBytes && count <= kBankBytes - address) {
    return flash_.Bank(0) + address;
  }
  if (Flash::Locate(address, count, &bank, &offset)) return flash_.Bank(bank) + offset;
  return nullptr;
}

bool MemoryMap::Executable(uint32_t address) const {
  int bank = 0;
  uint32_t offset = 0;
  if (address < kBankBytes) return true;  // the shadow area at 0 is always mapped
  if (Flash::Locate(address, 4, &bank, &offset)) return true;
  for (const auto& block : ram_) {
    if (address >= block.address && address - block.address < block.bytes.size()) return true;
  }
  return false;
}

void MemoryMap::ClearRam() {
  for (auto& block : ram_) std::fill(block.bytes.begin(), block.bytes.end(), 0);
}
