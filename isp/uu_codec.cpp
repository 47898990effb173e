#include "isp/uu_codec.h"

#include <algorithm>

namespace {

char Encode6(unsigned v) { return v == 0 ? '`' : static_cast<char>(v + 0x20); }

}  // namespace

void UuEncodeLine(char* output, const uint8_t* source, int n) {
  n = std::clamp(n, 0, kUuLineBytes);
  int out = 0;
  output[out++] = Encode6(static_cast<unsigned>(n));
  for (int i = 0; i < n; i += 3) {
    // A last group of one or two bytes is padded with zero bytes to three.
    unsigned b0 = source[i];
    unsigned b1 = i + 1 < n ? source[i + 1] : 0;
    unsigned b2 = i + 2 < n ? source[i + 2] : 0;
    output[out++] = Encode6(b0 >> 2);
    output[out++] = Encode6(((b0 & 3) << 4) | (b1 >> 4));
    output[out++] = Encode6(((b1 & 15) << 2) | (b2 >> 6));
    output[out++] = Encode6(b2 & 63);
  }
  output[out] = '\0';
}

int UuDecodeLine(uint8_t* output, const char* line, int m) {
  if (line[0] == '\0' || m <= 0) return 0;
  int n = std::min((line[0] - 0x20) & 63, m);
  const char* p = line + 1;
  // Both the grave accent and the blank stand for zero. A line cut short (noise, or a
  // switch that misbehaves) is never read past its end: the missing characters count as
  // zero, and the chunk's checksum then tells that the data is wrong.
  auto next = [&p]() -> unsigned {
    if (*p == '\0') return 0;
    return static_cast<unsigned>((*p++ - 0x20) & 63);
  };
  int written = 0;
  while (written < n) {
    unsigned c0 = next(), c1 = next(), c2 = next(), c3 = next();
    uint8_t group[3] = {static_cast<uint8_t>((c0 << 2) | (c1 >> 4)),
                        static_cast<uint8_t>(((c1 & 15) << 4) | (c2 >> 2)),
                        static_cast<uint8_t>(((c2 & 3) << 6) | c3)};
    for (int k = 0; k < 3 && written < n; ++k) output[written++] = group[k];
  }
  return n;
}
