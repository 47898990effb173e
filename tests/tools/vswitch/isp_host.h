// A small ISP client for the virtual switch's tests: the host's side of the boot ROM's
// protocol, written from the protocol (not from the utility), with echo switched off
// after synchronisation.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "testing/host_port.h"

class IspHost {
 public:
  explicit IspHost(HostPort& port) : port_(port) {}

  // "?", "Synchronized", a frequency line, then "A 0". False if any answer is missing.
  bool Connect();
  // Sends a command line (CR LF added) and returns the first answer line ("" if none
  // came within 2 s).
  std::string Command(const std::string& line);
  // Further lines of a reply (J, K, N, M, I).
  std::string NextLine();

  // W commands of at most perCommand bytes, sent in blocks of 20 lines, each followed
  // by its checksum; the answer to the first failing step ("" when all went through,
  // "RESEND" or a status code otherwise).
  std::string WriteRam(uint32_t address, const std::vector<uint8_t>& bytes,
                       size_t perCommand = 900);
  // R commands of at most perCommand bytes, answering every checksum "OK"; false if
  // anything is missing or wrong.
  bool ReadMemory(uint32_t address, uint32_t count, std::vector<uint8_t>* bytes,
                  uint32_t perCommand = 900);
  // Stages one block of 512, 1024 or 4096 bytes at 0x10000000 and copies it to flash
  // (prepare, copy); the first status that is not "0", or "".
  std::string Program(uint32_t flashAddress, const std::vector<uint8_t>& block);
  // Prepare and erase sectors of bank A.
  std::string Erase(int first, int last);

 private:
  HostPort& port_;
};
