#include "format/parse_number.h"

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

// Shared scanner: magnitude (saturated to 64 bits' worth of "too big"), sign, end.
struct Scan {
  uint64_t magnitude = 0;
  bool negative = false;
  bool overflow = false;  // magnitude above 0xFFFFFFFF
  const char* end = nullptr;
};

Scan ScanNumber(const char* text, int base) {
  Scan scan;
  scan.end = text;
  const char* p = text;
  while (IsSpace(*p)) ++p;
  if (*p == '+' || *p == '-') {
    scan.negative = (*p == '-');
    ++p;
  }
  if ((base == 0 || base == 16) && p[0] == '0' && (p[1] == 'x' || p[1] == 'X') &&
      DigitValue(p[2]) < 16) {
    p += 2;
    base = 16;
  } else if (base == 0) {
    base = (p[0] == '0') ? 8 : 10;
  }
  if (base < 2 || base > 36) return scan;
  const char* digitsStart = p;
  while (DigitValue(*p) < base) {
    if (!scan.overflow) {
      scan.magnitude =
          scan.magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(*p));
      if (scan.magnitude > 0xFFFFFFFFull) scan.overflow = true;
    }
    ++p;
  }
  if (p != digitsStart) scan.end = p;
  return scan;
}

}  // namespace

uint32_t ParseUnsigned32(const char* text, const char** end, int base) {
  Scan scan = ScanNumber(text, base);
  if (end) *end = scan.end;
  if (scan.end == text) return 0;
  if (scan.overflow) return 0xFFFFFFFFu;
  uint32_t value = static_cast<uint32_t>(scan.magnitude);
  return scan.negative ? 0u - value : value;
}

int32_t ParseSigned32(const char* text, const char** end, int base) {
  Scan scan = ScanNumber(text, base);
  if (end) *end = scan.end;
  if (scan.end == text) return 0;
  if (scan.negative) {
    if (scan.overflow || scan.magnitude > 0x80000000ull) return INT32_MIN;
    return static_cast<int32_t>(0 - static_cast<int64_t>(scan.magnitude));
  }
  if (scan.overflow || scan.magnitude > 0x7FFFFFFFull) return INT32_MAX;
  return static_cast<int32_t>(scan.magnitude);
}
