// The boot ROM's UU text, for the tests that compare what goes over the wire or play the
// boot ROM's side of it.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "isp/uu_codec.h"

inline std::string UuText(const std::vector<uint8_t>& bytes) {
  char line[kUuLineBuffer];
  UuEncodeLine(line, bytes.data(), static_cast<int>(bytes.size()));
  return line;
}

// The boot ROM's whole answer to an R of data.size() bytes: its status "0", the data's UU
// lines and the line with the sum of the bytes.
inline std::string ReadReplyText(const std::vector<uint8_t>& data) {
  std::string reply = "0\r\n";
  uint32_t sum = 0;
  for (size_t at = 0; at < data.size(); at += kUuLineBytes) {
    size_t end = std::min<size_t>(at + kUuLineBytes, data.size());
    reply += UuText(std::vector<uint8_t>(data.begin() + at, data.begin() + end)) + "\r\n";
  }
  for (uint8_t b : data) sum += b;
  return reply + std::to_string(sum) + "\r\n";
}
