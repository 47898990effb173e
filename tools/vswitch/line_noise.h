// What a UART receiver makes of bytes that were sent at another baud rate, and plain
// line noise.
//
// A receiver samples the line at its own bit time. Bytes sent faster than that run
// together: several of them fall inside one received character, which the receiver
// reads with a framing error. Bytes sent slower are cut up: one sent character spans
// several received ones. Either way nothing of the text survives. The model here keeps
// the byte counts roughly right and turns every received byte into a value with the top
// bit set, so that a wrong-rate exchange can never look like a reply, a command or a
// line end to the other side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class RateMismatch {
 public:
  // Appends to out what a receiver listening at heardBaud reads when the bytes were
  // sent at sentBaud (the two differ). Deterministic: the same bytes at the same rates
  // give the same garbage, whatever chunks they came in.
  void Garble(const uint8_t* bytes, size_t n, uint32_t sentBaud, uint32_t heardBaud,
              std::vector<uint8_t>* out);

 private:
  uint32_t phase_ = 0;  // bytes sent fast that are still merging into one received byte
};

// n bytes of line noise, as a loose connector or a switch powering up puts on the line.
// All have the top bit set.
std::vector<uint8_t> NoiseBytes(size_t n, uint32_t* state);
