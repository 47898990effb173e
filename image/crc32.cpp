#include "image/crc32.h"

namespace {

// Entry i is the register after shifting the nibble i through four reflected steps of
// the polynomial 0xEDB88320. Sixteen words instead of 256: the switch-side code this
// mirrors lives in a small boot area, and the speed is ample for 300 KB.
constexpr uint32_t kNibbleTable[16] = {0x00000000u, 0x1DB71064u, 0x3B6E20C8u, 0x26D930ACu,
                                       0x76DC4190u, 0x6B6B51F4u, 0x4DB26158u, 0x5005713Cu,
                                       0xEDB88320u, 0xF00F9344u, 0xD6D6A3E8u, 0xCB61B38Cu,
                                       0x9B64C2B0u, 0x86D3D2D4u, 0xA00AE278u, 0xBDBDF21Cu};

}  // namespace

uint32_t Crc32Update(uint32_t crc, const uint8_t* data, uint64_t length) {
  for (uint64_t i = 0; i < length; ++i) {
    uint32_t b = data[i];
    crc = kNibbleTable[(crc ^ b) & 0xFu] ^ (crc >> 4);
    crc = kNibbleTable[(crc ^ (b >> 4)) & 0xFu] ^ (crc >> 4);
  }
  return crc;
}
