// Packing a firmware payload into the image container the utility carries, and the
// deterministic stand-in payload used when no real firmware is given.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct PackOptions {
  uint32_t family = 'V';
  uint32_t modelIndex = 3;
  uint32_t version = 0x023C0000u;  // 2.60
  std::string productName = "KLM8800T";
  uint32_t firmwareAddress = 0x1A000000u;
  uint32_t identityByte1 = 0x41;
  uint32_t identityByte0 = 0x01;
  uint32_t checkLength = 0x200;  // the check region: the payload's first bytes
  uint32_t tableMagic = 0x1E3CA502u;
};

// Length of the synthetic payload without its CRC, so that with the CRC it is 144,492
// bytes like the real firmware this utility was first built for.
constexpr uint32_t kSyntheticPayloadBytes = 144488;
constexpr uint32_t kSyntheticEntry = 0x1A00D7B1u;

// A deterministic payload of length bytes (at least 32) that a real LPC43xx would boot:
// a vector table whose word 1 is entry and whose word 7 makes the first eight words sum
// to zero, followed by reproducible filler. variant changes the filler only.
std::vector<uint8_t> SyntheticPayload(uint32_t length, uint32_t entry, uint32_t variant = 0);

// Builds the image: header, payload with its CRC appended, parameter table with its CRC,
// final CRC. The entry address in the table is the payload's word 1. Empty on bad input
// (payload shorter than 8 bytes, name longer than 31 characters), with *error set.
std::vector<uint8_t> PackImage(const std::vector<uint8_t>& payload, const PackOptions& options,
                               std::string* error);

// Builds the 144-byte parameter table for a payload that already carries its CRC.
std::vector<uint8_t> BuildParameterTable(const std::vector<uint8_t>& payloadWithCrc,
                                         const PackOptions& options);

// "2.60", "2.60.05", "2.60a", "2.60.05b" or a number ("0x023C0000") to a version word.
bool ParseVersionWord(const std::string& text, uint32_t* version);

// The generated C++ source that defines imageTable over one image.
std::string ImageSource(const std::vector<uint8_t>& image);

void PutLe32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value);
