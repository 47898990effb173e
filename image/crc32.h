// CRC-32 of IEEE 802.3 (as in zlib and PNG), run four bits at a time.
#pragma once

#include <cstddef>
#include <cstdint>

// Runs the CRC register over length bytes. No inversion at either end: callers start
// with 0xFFFFFFFF.
uint32_t Crc32Update(uint32_t crc, const uint8_t* data, uint64_t length);

// What Crc32Update from 0xFFFFFFFF gives over a region whose last four bytes hold the
// standard CRC-32 of the rest, little-endian.
constexpr uint32_t kCrc32Residue = 0xDEBB20E3u;

// The standard CRC-32 (with final inversion), as stored in images and tables.
inline uint32_t Crc32(const uint8_t* data, uint64_t length) {
  return ~Crc32Update(0xFFFFFFFFu, data, length);
}
