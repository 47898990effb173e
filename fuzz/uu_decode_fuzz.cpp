// The UU line decoder, on any data line and any limit.
#include <string>

#include "isp/uu_codec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  int limit = data[0] % 64;
  std::string line(reinterpret_cast<const char*>(data + 1), size - 1);
  line = line.c_str();
  uint8_t out[64];
  int n = UuDecodeLine(out, line.c_str(), limit);
  if (n < 0 || n > limit) __builtin_trap();
  return 0;
}
