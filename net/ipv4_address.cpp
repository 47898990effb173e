#include "net/ipv4_address.h"

namespace {

constexpr int kParts = 4;
constexpr int kMostDigits = 3;  // "255"
constexpr uint32_t kLargestPart = 255;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool ParseIpv4Address(const char* text, uint32_t* address) {
  if (text == nullptr) return false;
  const char* cursor = text;
  uint32_t value = 0;
  for (int part = 0; part < kParts; ++part) {
    if (part > 0 && *cursor++ != '.') return false;
    if (!IsDigit(*cursor)) return false;
    // A leading zero means octal to other readers of the same text; refused, not guessed.
    if (cursor[0] == '0' && IsDigit(cursor[1])) return false;
    uint32_t number = 0;
    for (int digits = 0; IsDigit(*cursor); ++digits, ++cursor) {
      if (digits == kMostDigits) return false;
      number = number * 10 + static_cast<uint32_t>(*cursor - '0');
    }
    if (number > kLargestPart) return false;
    value = (value << 8) | number;
  }
  if (*cursor != '\0') return false;
  *address = value;
  return true;
}
