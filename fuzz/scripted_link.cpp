// A stand-in for the serial port and the clock, for fuzzing the readers of switch input.
//
// The port hands out the fuzzer's bytes as if the switch had sent them and swallows
// everything written. The clock moves one millisecond per reading, so every time-out
// of the readers passes in a few hundred calls instead of real seconds.
#include "scripted_link.h"

#include "link/clock.h"
#include "link/serial_port.h"

SerialPort linkPort;
uint32_t linkBaudRate = 0;

namespace {
const uint8_t* scriptData = nullptr;
size_t scriptSize = 0;
size_t scriptPosition = 0;
uint32_t fakeNow = 0;
}  // namespace

void SetScript(const uint8_t* data, size_t size) {
  scriptData = data;
  scriptSize = size;
  scriptPosition = 0;
  linkPort.isOpen = 1;
  linkPort.handle = 0;
  linkBaudRate = 115200;
}

uint32_t ClockMs() { return ++fakeNow; }
void SleepMs(uint32_t ms) { fakeNow += ms; }

int32_t SerialPort::Open(int32_t, uint32_t) {
  isOpen = 1;
  return 1;
}
int32_t SerialPort::SetBaudRate(uint32_t) { return isOpen ? 1 : 0; }
int32_t SerialPort::Close() {
  isOpen = 0;
  return 1;
}
int32_t SerialPort::Write(const void*, uint32_t count) {
  return isOpen ? static_cast<int32_t>(count) : 0;
}
int32_t SerialPort::BytesWaiting() {
  // Bytes arrive in bursts of up to 64, as they would from a UART's receive queue.
  if (!isOpen) return 0;
  size_t left = scriptSize - scriptPosition;
  return static_cast<int32_t>(left < 64 ? left : 64);
}
int32_t SerialPort::Read(void* buffer, uint32_t count) {
  if (!isOpen) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t n = 0;
  while (n < count && scriptPosition < scriptSize) out[n++] = scriptData[scriptPosition++];
  return static_cast<int32_t>(n);
}
