// The layout of a firmware image and of the parameter table, as the packer writes them and
// the utility and the switch read them.
//
// An image is one byte string: an 80-byte header, the payload (the switch's own
// microcontroller firmware, ending in its CRC), the parameter table (ending in its CRC)
// and a final CRC over everything before it. All numbers are little-endian.
#pragma once

#include <bit>
#include <cstdint>

static_assert(std::endian::native == std::endian::little,
              "images and tables are read in place as little-endian words");

struct ImageHeader {
  uint32_t totalLength;      // whole image, final CRC included
  uint32_t reservedA;        // not interpreted
  uint32_t family;           // 'Z' or 'V'
  uint32_t modelIndex;       // from 1
  uint32_t version;          // version word
  uint32_t firmwareOffset;   // payload offset in the image
  uint32_t firmwareAddress;  // flash address of the payload
  uint32_t firmwareLength;   // payload bytes, its CRC included
  uint32_t tableOffset;      // parameter table offset in the image
  uint32_t tableAddress;     // flash address of the table
  uint32_t tableLength;      // table bytes, its CRC included
  uint32_t reservedB;        // not interpreted
  char productName[32];      // NUL-terminated, rest 0xFF
};
static_assert(sizeof(ImageHeader) == 80);

// Magic numbers of the parameter table.
constexpr uint32_t kTableMagic = 0x1E3CA502u;     // current format
constexpr uint32_t kTableMagicOld = 0x1E3CA501u;  // older format: no check fields, no entry

// The parameter table, in an image and in the switch's flash at tableAddress.
struct ParameterTable {
  uint32_t firmwareLength;
  uint32_t version;
  char productName[32];  // rest of the field is zero
  uint32_t magic;
  uint32_t identity;     // family << 24 | model << 16 | identityByte1 << 8 | identityByte0
  uint32_t tableLength;  // bytes covered by the table's CRC, CRC included; at most 512
  uint32_t checkAddress;
  uint32_t checkLength;       // at most 4096
  uint32_t checkCrc;          // standard CRC-32 of the check region
  uint8_t fill[68];           // 0xFF
  uint32_t entryAddress;      // reset handler address with the Thumb bit set
  uint32_t entryAddressHigh;  // upper half of the 64-bit field; zero
  uint32_t tableCrc;
};
static_assert(sizeof(ParameterTable) == 144);

// Where the parameter table lives in the switch's flash: the last 512 bytes of bank A.
// The switch's firmware reads its settings there, so the place belongs to the switch, not
// to a build: the packer writes it into every image's header, an update writes the table
// there, identification reads it there, and the virtual switch keeps it there.
constexpr uint32_t kTableFlashAddress = 0x1A07FE00u;

// Version word fields. The letter field counts from 'a': 1 is 'a', 15 is 'o', 0 none.
constexpr uint32_t VersionMajor(uint32_t v) { return v >> 24; }
constexpr uint32_t VersionMinor(uint32_t v) { return (v >> 16) & 0xFFu; }
constexpr uint32_t VersionLetter(uint32_t v) { return (v >> 12) & 0xFu; }
constexpr uint32_t VersionBeta(uint32_t v) { return v & 0x3Fu; }
// The character code just before 'a': letter field value + this is the letter's code.
constexpr uint32_t kVersionLetterBase = 'a' - 1;

// Reads a little-endian word at any alignment.
inline uint32_t ReadLe32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}
