// Figures for benchmarks: what crossed the line and how long the flash was busy.
#pragma once

#include <cstdint>
#include <string>

struct Stats {
  uint64_t bytesIn = 0;   // host to switch, as read from the line
  uint64_t bytesOut = 0;  // switch to host, as written to the line (echo included)
  uint64_t eraseMs = 0;   // simulated erase time, paced or not
  uint64_t copyMs = 0;    // simulated programming time of C, paced or not
  // How long those bytes take on a real line at the rate each crossed at (10 bits a
  // byte): the floor under any transfer, whatever the host does.
  uint64_t wireUsIn = 0;
  uint64_t wireUsOut = 0;

  // "key value" lines: bytes_in, bytes_out, erase_ms, copy_ms, wire_us_in, wire_us_out.
  std::string Text() const;
};
