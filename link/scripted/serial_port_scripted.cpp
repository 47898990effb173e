// The port half of the scripted line (see scripted_line.h).
#include <algorithm>
#include <deque>
#include <set>

#include "link/clock.h"
#include "link/console_keys.h"
#include "link/serial_port_os.h"
#include "scripted_line.h"

struct PortOs {
  bool open = false;
};

namespace {

// The bound every real read and write of the port keeps.
constexpr uint32_t kIoBoundMs = 1000;

struct Arrival {
  uint8_t byte;
  uint32_t atMs;
};

PortOs line;
uint32_t now = 0;
std::deque<Arrival> incoming;
std::vector<std::string> writes;
std::vector<uint32_t> baudRates;
uint32_t waits = 0;
std::function<void(std::string_view)> responder;
std::set<int32_t> missingPorts;
std::deque<uint8_t> keys;

// Bytes that have arrived by now. Arrivals are in time order, so they are found by
// bisection: readers ask after every byte, and a fuzz target's line holds thousands.
uint32_t Arrived() {
  auto firstLater = std::upper_bound(incoming.begin(), incoming.end(), now,
                                     [](uint32_t at, const Arrival& a) { return at < a.atMs; });
  return static_cast<uint32_t>(firstLater - incoming.begin());
}

// Moves the clock to the first arrival if it comes within ms; true when a byte is there.
bool AwaitArrival(uint32_t ms) {
  if (!incoming.empty() && incoming.front().atMs <= now) return true;
  if (!incoming.empty() && incoming.front().atMs - now <= ms) {
    now = incoming.front().atMs;
    return true;
  }
  now += ms;
  return false;
}

}  // namespace

void ScriptedReset() {
  line = PortOs{};
  now = 0;
  incoming.clear();
  writes.clear();
  baudRates.clear();
  waits = 0;
  responder = nullptr;
  missingPorts.clear();
  keys.clear();
}

uint32_t ScriptedNow() { return now; }
void ScriptedAdvance(uint32_t ms) { now += ms; }

void ScriptedDeliver(std::string_view bytes, uint32_t atMs) {
  // Arrivals stay in order: nothing overtakes what was scheduled before it.
  uint32_t at = now + atMs;
  if (!incoming.empty()) at = std::max(at, incoming.back().atMs);
  for (char c : bytes) incoming.push_back({static_cast<uint8_t>(c), at});
}

size_t ScriptedPending() { return incoming.size(); }
const std::vector<std::string>& ScriptedWrites() { return writes; }

std::string ScriptedWritten() {
  std::string all;
  for (const std::string& w : writes) all += w;
  return all;
}

const std::vector<uint32_t>& ScriptedBaudRates() { return baudRates; }
uint32_t ScriptedWaits() { return waits; }
void ScriptedRespond(std::function<void(std::string_view)> r) { responder = std::move(r); }
void ScriptedMissingPort(int32_t portNumber) { missingPorts.insert(portNumber); }

void ScriptedKeys(std::string_view typed) {
  for (char c : typed) keys.push_back(static_cast<uint8_t>(c));
}

// ---- the OS half of SerialPort

PortOs* PortOsOpen(int32_t portNumber, uint32_t baudRate) {
  if (line.open || missingPorts.count(portNumber) != 0) return nullptr;
  line.open = true;
  baudRates.push_back(baudRate);
  return &line;
}

bool PortOsSetBaudRate(PortOs*, uint32_t baudRate) {
  baudRates.push_back(baudRate);
  return true;
}

void PortOsClose(PortOs* port) { port->open = false; }

int32_t PortOsWrite(PortOs*, const void* data, uint32_t count) {
  std::string_view bytes(static_cast<const char*>(data), count);
  writes.emplace_back(bytes);
  if (responder) responder(bytes);
  return static_cast<int32_t>(count);
}

int32_t PortOsBytesWaiting(PortOs*) { return static_cast<int32_t>(Arrived()); }

int32_t PortOsRead(PortOs*, void* buffer, uint32_t count) {
  if (!AwaitArrival(kIoBoundMs)) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t n = 0;
  while (n < count && !incoming.empty() && incoming.front().atMs <= now) {
    out[n++] = incoming.front().byte;
    incoming.pop_front();
  }
  return static_cast<int32_t>(n);
}

bool PortOsWaitForInput(PortOs*, uint32_t ms) {
  ++waits;
  return AwaitArrival(ms);
}

// ---- the clock

uint32_t ClockMs() { return now; }
void SleepMs(uint32_t ms) { now += ms; }

// ---- the console keys

void PrepareConsoleKeys() {}
int KeyWaiting() { return 1; }  // a key, or the end of input, is always there at once

int ReadKey() {
  if (keys.empty()) return -1;
  int key = keys.front();
  keys.pop_front();
  return key;
}
