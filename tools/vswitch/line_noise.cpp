#include "line_noise.h"

namespace {

uint8_t Scramble(uint32_t value) {
  value *= 0x9E3779B1u;
  value ^= value >> 15;
  return static_cast<uint8_t>(0x80u | (value & 0x7Fu));
}

}  // namespace

void RateMismatch::Garble(const uint8_t* bytes, size_t n, uint32_t sentBaud, uint32_t heardBaud,
                          std::vector<uint8_t>* out) {
  if (sentBaud == 0 || heardBaud == 0) return;  // a line that is not driven carries nothing
  if (sentBaud > heardBaud) {
    // Sent fast: about sentBaud / heardBaud bytes merge into one received character.
    uint32_t ratio = sentBaud / heardBaud;
    if (ratio < 2) ratio = 2;
    for (size_t i = 0; i < n; ++i) {
      if (++phase_ >= ratio) {
        phase_ = 0;
        out->push_back(Scramble(bytes[i] ^ sentBaud));
      }
    }
    return;
  }
  // Sent slow: the start bit and the data bits of one sent character are read as two
  // characters (more would add nothing but bulk).
  for (size_t i = 0; i < n; ++i) {
    out->push_back(Scramble(bytes[i] + heardBaud));
    out->push_back(Scramble(bytes[i] * 3u + sentBaud));
  }
}

std::vector<uint8_t> NoiseBytes(size_t n, uint32_t* state) {
  std::vector<uint8_t> noise(n);
  for (auto& b : noise) {
    *state = *state * 1664525u + 1013904223u;
    b = Scramble(*state);
  }
  return noise;
}
