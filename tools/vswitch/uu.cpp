#include "uu.h"

namespace {

char UuChar(uint32_t sixBits) { return sixBits == 0 ? '`' : static_cast<char>(sixBits + 0x20); }

bool UuValue(char c, uint32_t* value) {
  auto u = static_cast<unsigned char>(c);
  if (u < 0x20 || u > 0x60) return false;
  *value = (u - 0x20u) & 0x3Fu;
  return true;
}

}  // namespace

std::string UuEncodeLine(const uint8_t* data, size_t n) {
  if (n > kUuLineBytes) n = kUuLineBytes;
  std::string line;
  line.reserve(1 + (n + 2) / 3 * 4);
  line += UuChar(static_cast<uint32_t>(n));
  for (size_t i = 0; i < n; i += 3) {
    uint32_t b0 = data[i];
    uint32_t b1 = i + 1 < n ? data[i + 1] : 0;
    uint32_t b2 = i + 2 < n ? data[i + 2] : 0;
    line += UuChar(b0 >> 2);
    line += UuChar(((b0 & 3) << 4) | (b1 >> 4));
    line += UuChar(((b1 & 15) << 2) | (b2 >> 6));
    line += UuChar(b2 & 63);
  }
  return line;
}

bool UuDecodeLine(std::string_view line, std::vector<uint8_t>* out) {
  uint32_t n = 0;
  if (line.empty() || !UuValue(line[0], &n) || n > kUuLineBytes) return false;
  size_t groups = (n + 2) / 3;
  if (line.size() < 1 + 4 * groups) return false;
  uint8_t bytes[kUuLineBytes + 2];
  for (size_t g = 0; g < groups; ++g) {
    uint32_t v[4];
    for (size_t k = 0; k < 4; ++k) {
      if (!UuValue(line[1 + 4 * g + k], &v[k])) return false;
    }
    bytes[3 * g] = static_cast<uint8_t>((v[0] << 2) | (v[1] >> 4));
    bytes[3 * g + 1] = static_cast<uint8_t>((v[1] << 4) | (v[2] >> 2));
    bytes[3 * g + 2] = static_cast<uint8_t>((v[2] << 6) | v[3]);
  }
  out->insert(out->end(), bytes, bytes + n);
  return true;
}
