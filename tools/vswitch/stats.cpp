#include "stats.h"

std::string Stats::Text() const {
  return "bytes_in " + std::to_string(bytesIn) + "\nbytes_out " + std::to_string(bytesOut) +
         "\nerase_ms " + std::to_string(eraseMs) + "\ncopy_ms " + std::to_string(copyMs) +
         "\nwire_us_in " + std::to_string(wireUsIn) + "\nwire_us_out " + std::to_string(wireUsOut) +
         "\n";
}
