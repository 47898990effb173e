// A boot ROM on the simulated line, already synchronised with its echo off, that carries
// out what the programming sequence sends: it answers the probe line with "1" (an
// unknown command) and "A 0" with "0", stages W's data in its RAM, copies RAM into a
// flash of its own (C, refusing a count the real ROM refuses), compares (M), reads back
// (R) and records the go (G). Every other command is taken with "0", unless it is the one
// the test has it refuse.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "isp/uu_codec.h"
#include "isp/uu_text.h"
#include "link/scripted/scripted_line.h"

class ScriptedBootRom {
 public:
  static constexpr uint32_t kFlash = 0x1A000000u;
  static constexpr uint32_t kRam = 0x10000000u;

  ScriptedBootRom() : flash(0x80000, 0xFF), ram_(0x10000, 0) {
    ScriptedRespond([this](std::string_view written) { Hear(written); });
  }
  ~ScriptedBootRom() { ScriptedRespond(nullptr); }
  ScriptedBootRom(const ScriptedBootRom&) = delete;
  ScriptedBootRom& operator=(const ScriptedBootRom&) = delete;

  std::vector<uint8_t> flash;       // bank A, erased at start
  std::vector<std::string> copies;  // every C line, as sent
  uint32_t goAtMs = 0;              // when the G line arrived; 0 before it
  char refused = '\0';              // the letter of a command answered with BUSY

 private:
  void Hear(std::string_view written) {
    if (writeLeft_ > 0) {
      TakeWriteData(written);
      return;
    }
    for (char c : written) {
      if (c == '\x1B') {
        line_.clear();
      } else if (c == '\r') {
        Command(line_);
        line_.clear();
      } else if (c != '\n') {
        line_ += c;
      }
    }
  }

  void Command(const std::string& line) {
    std::istringstream in(line.size() > 1 ? line.substr(2) : std::string());
    uint32_t a = 0, b = 0, n = 0;
    in >> a >> b >> n;
    char letter = line.empty() ? '\0' : line[0];
    if (line.rfind("^P$", 0) == 0) {
      ScriptedDeliver("1\r\n");
    } else if (refused != '\0' && letter == refused) {
      ScriptedDeliver("11\r\n");
    } else if (letter == 'W') {
      writeAt_ = a - kRam;
      writeLeft_ = b;
      ScriptedDeliver("0\r\n");
    } else if (letter == 'C') {
      copies.push_back(line);
      if (n != 512 && n != 1024 && n != 4096) {
        ScriptedDeliver("6\r\n");  // COUNT_ERROR
        return;
      }
      for (uint32_t i = 0; i < n; ++i) flash[a - kFlash + i] &= ram_[b - kRam + i];
      ScriptedDeliver("0\r\n");
    } else if (letter == 'M') {
      for (uint32_t i = 0; i < n; ++i) {
        if (flash[a - kFlash + i] != ram_[b - kRam + i]) {
          ScriptedDeliver("10\r\n" + std::to_string(i) + "\r\n");
          return;
        }
      }
      ScriptedDeliver("0\r\n");
    } else if (letter == 'R') {
      ScriptedDeliver(ReadReplyText(
          std::vector<uint8_t>(flash.begin() + (a - kFlash), flash.begin() + (a - kFlash) + b)));
    } else if (letter == 'G') {
      goAtMs = ScriptedNow();
      ScriptedDeliver("0\r\n");
    } else if (line != "OK") {
      ScriptedDeliver("0\r\n");
    }
  }

  // W's data lines and its checksum line, which the utility sends in one write.
  void TakeWriteData(std::string_view written) {
    std::string text(written);
    size_t at = 0;
    while (writeLeft_ > 0 && at < text.size()) {
      size_t end = text.find("\r\n", at);
      if (end == std::string::npos) break;
      uint8_t bytes[kUuLineBytes];
      int got = UuDecodeLine(bytes, text.substr(at, end - at).c_str(), kUuLineBytes);
      for (int i = 0; i < got && writeLeft_ > 0; ++i, --writeLeft_) ram_[writeAt_++] = bytes[i];
      at = end + 2;
    }
    ScriptedDeliver("OK\r\n");  // the checksum line follows the data in the same write
    writeLeft_ = 0;
  }

  std::vector<uint8_t> ram_;
  std::string line_;
  uint32_t writeAt_ = 0;
  uint32_t writeLeft_ = 0;
};
