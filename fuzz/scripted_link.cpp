// A stand-in for the OS half of the serial port and for the clock, for fuzzing the
// readers of switch input.
//
// The port hands out the fuzzer's bytes as if the switch had sent them and swallows
// everything written. The clock moves one millisecond per reading, and a wait moves it
// on by its whole length, so every time-out of the readers passes in a few hundred calls
// instead of real seconds.
#include "scripted_link.h"

#include "link/clock.h"
#include "link/serial_port.h"
#include "link/serial_port_os.h"

struct PortOs {};

namespace {
PortOs scriptedPort;
const uint8_t* scriptData = nullptr;
size_t scriptSize = 0;
size_t scriptPosition = 0;
uint32_t fakeNow = 0;
}  // namespace

void SetScript(const uint8_t* data, size_t size) {
  scriptData = data;
  scriptSize = size;
  scriptPosition = 0;
  linkPort.Close();
  linkPort.Open(1, 115200);
  linkBaudRate = 115200;
}

uint32_t ClockMs() { return ++fakeNow; }
void SleepMs(uint32_t ms) { fakeNow += ms; }

PortOs* PortOsOpen(int32_t, uint32_t) { return &scriptedPort; }
bool PortOsSetBaudRate(PortOs*, uint32_t) { return true; }
void PortOsClose(PortOs*) {}
int32_t PortOsWrite(PortOs*, const void*, uint32_t count) { return static_cast<int32_t>(count); }
int32_t PortOsBytesWaiting(PortOs*) {
  // Bytes arrive in bursts of up to 64, as they would from a UART's receive queue.
  size_t left = scriptSize - scriptPosition;
  return static_cast<int32_t>(left < 64 ? left : 64);
}
int32_t PortOsRead(PortOs*, void* buffer, uint32_t count) {
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t n = 0;
  while (n < count && scriptPosition < scriptSize) out[n++] = scriptData[scriptPosition++];
  return static_cast<int32_t>(n);
}
bool PortOsWaitForInput(PortOs* port, uint32_t ms) {
  if (PortOsBytesWaiting(port) > 0) return true;
  fakeNow += ms;
  return false;
}
