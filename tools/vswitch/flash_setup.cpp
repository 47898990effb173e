#include "flash_setup.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "image/crc32.h"
#include "image/image_format.h"

namespace {

constexpr uint32_t kTableArea = 512;  // the table sits in the last 512 bytes of bank A

bool ResidueHolds(const uint8_t* region, uint32_t length) {
  return Crc32Update(0xFFFFFFFFu, region, length) == kCrc32Residue;
}

bool RegionFits(uint32_t offset, uint32_t length, uint32_t total) {
  return length >= 4 && offset <= total && length <= total - offset;
}

bool EraseAndProgram(Flash& flash, uint32_t address, const uint8_t* data, uint32_t length,
                     std::string* error) {
  int bank = 0;
  uint32_t offset = 0;
  if (!Flash::Locate(address, length, &bank, &offset)) {
    *error = "a region of the image lies outside the flash";
    return false;
  }
  flash.EraseSectors(bank, SectorAt(offset), SectorAt(offset + length - 1));
  flash.Program(bank, offset, data, length);
  return true;
}

uint8_t* TableAt(Flash& flash, uint32_t address, std::string* error) {
  int bank = 0;
  uint32_t offset = 0;
  if (!Flash::Locate(address, kTableArea, &bank, &offset)) {
    *error = "the parameter table address lies outside the flash";
    return nullptr;
  }
  return flash.Bank(bank) + offset;
}

void RecomputeTableCrc(uint8_t* table) {
  uint32_t length = ReadLe32(table + 48);
  if (length < 4 || length > kTableArea) return;  // a table that names no CRC position
  uint32_t crc = Crc32(table, length - 4);
  for (int i = 0; i < 4; ++i) table[length - 4 + i] = static_cast<uint8_t>(crc >> (8 * i));
}

void PutWord(uint8_t* p, uint32_t value) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace

bool InstallImage(Flash& flash, const std::vector<uint8_t>& image, uint32_t* tableAddress,
                  std::string* error) {
  if (image.size() < sizeof(ImageHeader) + 4) {
    *error = "the image is too short";
    return false;
  }
  ImageHeader h;
  memcpy(&h, image.data(), sizeof h);
  if (h.totalLength < sizeof(ImageHeader) + 4 || h.totalLength > image.size() ||
      !ResidueHolds(image.data(), h.totalLength)) {
    *error = "the image's CRC does not hold";
    return false;
  }
  if (!RegionFits(h.firmwareOffset, h.firmwareLength, h.totalLength) ||
      !RegionFits(h.tableOffset, h.tableLength, h.totalLength) ||
      !ResidueHolds(image.data() + h.firmwareOffset, h.firmwareLength) ||
      !ResidueHolds(image.data() + h.tableOffset, h.tableLength)) {
    *error = "the image's payload or table does not pass its CRC";
    return false;
  }
  if (!EraseAndProgram(flash, h.firmwareAddress, image.data() + h.firmwareOffset, h.firmwareLength,
                       error) ||
      !EraseAndProgram(flash, h.tableAddress, image.data() + h.tableOffset, h.tableLength, error)) {
    return false;
  }
  *tableAddress = h.tableAddress;
  return true;
}

bool ParseTableFault(const std::string& text, TableFault* fault) {
  static const struct {
    const char* name;
    TableFault fault;
  } kNames[] = {{"blank", TableFault::kBlank},
                {"old", TableFault::kOld},
                {"bad-crc", TableFault::kBadCrc},
                {"check-crc", TableFault::kCheckCrc}};
  for (const auto& n : kNames) {
    if (text == n.name) {
      *fault = n.fault;
      return true;
    }
  }
  return false;
}

bool ApplyTableFault(Flash& flash, uint32_t address, TableFault fault, std::string* error) {
  uint8_t* table = TableAt(flash, address, error);
  if (table == nullptr) return false;
  switch (fault) {
    case TableFault::kNone: return true;
    case TableFault::kBlank: memset(table, 0xFF, kTableArea); return true;
    case TableFault::kOld:
      PutWord(table + 40, kTableMagicOld);
      RecomputeTableCrc(table);
      return true;
    case TableFault::kBadCrc: {
      uint32_t length = ReadLe32(table + 48);
      if (length < 4 || length > kTableArea) length = sizeof(ParameterTable);
      table[length - 4] ^= 0xA5;
      return true;
    }
    case TableFault::kCheckCrc:
      PutWord(table + 60, ~ReadLe32(table + 60));
      RecomputeTableCrc(table);
      return true;
  }
  return true;
}

bool SetTableCheckLength(Flash& flash, uint32_t address, uint32_t length, std::string* error) {
  uint8_t* table = TableAt(flash, address, error);
  if (table == nullptr) return false;
  PutWord(table + 56, length);
  RecomputeTableCrc(table);
  return true;
}

bool SetUpFlash(Flash& flash, const FlashSetup& setup, uint32_t* tableAddress, std::string* error) {
  if (setup.erase) flash.EraseAll();
  if (!setup.installPath.empty()) {
    std::ifstream in(setup.installPath, std::ios::binary);
    std::vector<uint8_t> image;
    if (in) {
      image.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!in.is_open() || in.bad()) {
      *error = "cannot read " + setup.installPath;
      return false;
    }
    if (!InstallImage(flash, image, tableAddress, error)) {
      *error = setup.installPath + ": " + *error;
      return false;
    }
  }
  if (setup.setCheckLength &&
      !SetTableCheckLength(flash, *tableAddress, setup.checkLength, error)) {
    return false;
  }
  if (setup.tableFault != TableFault::kNone &&
      !ApplyTableFault(flash, *tableAddress, setup.tableFault, error)) {
    return false;
  }
  flash.Sync();
  return true;
}
