// One UU line as text, for the tests that compare what goes over the wire.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "isp/uu_codec.h"

inline std::string UuText(const std::vector<uint8_t>& bytes) {
  char line[kUuLineChars + 1];
  UuEncodeLine(line, bytes.data(), static_cast<int>(bytes.size()));
  return line;
}
