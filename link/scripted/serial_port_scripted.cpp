// The port half of the scripted line (see scripted_line.h).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
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

// On the virtual clock a loop that reads the time over and over, and neither sleeps nor
// takes a byte, never sees its limit pass: the program would spin for ever. Code that
// waits always sleeps or takes bytes between two readings, so this many readings with
// nothing moving means such a loop, and the test stops at once instead of hanging.
constexpr uint64_t kStillReadingsMax = 10'000'000;
// No test makes the program wait longer than a few minutes; one that has waited an hour
// waits for something that never comes, and is stopped too.
constexpr uint64_t kWaitedMax = 3'600'000;

struct Arrival {
  uint8_t byte;
  uint32_t atMs;
};

PortOs line;
uint32_t now = 0;
// Bytes taken off the line and writes made: the line moving, even while the clock stands.
uint64_t traffic = 0;
uint64_t stillReadings = 0;  // clock readings since the clock or the line last moved
uint32_t readAtMs = 0;
uint64_t waited = 0;  // ms the program has slept or waited since the reset
uint64_t readAtTraffic = 0;
std::deque<Arrival> incoming;
uint32_t readCostMs = 0;
std::vector<std::string> writes;
std::vector<uint32_t> baudRates;
uint32_t waits = 0;
std::function<void(std::string_view)> responder;
std::set<int32_t> missingPorts;
std::deque<uint8_t> keys;
// Reads still to succeed before one fails; -1: none fails.
int64_t readsBeforeFailure = -1;

// Bytes that have arrived by now. Arrivals are in time order, so they are found by
// bisection: readers ask after every byte, and a fuzz target's line holds thousands.
uint32_t Arrived() {
  auto firstLater = std::upper_bound(incoming.begin(), incoming.end(), now,
                                     [](uint32_t at, const Arrival& a) { return at < a.atMs; });
  return static_cast<uint32_t>(firstLater - incoming.begin());
}

// The program's own waiting moves the clock.
void Pass(uint32_t ms) {
  now += ms;
  waited += ms;
  if (waited > kWaitedMax) {
    fprintf(stderr, "scripted line: the program has waited an hour: a wait without end\n");
    abort();
  }
}

// Moves the clock to the first arrival if it comes within ms; true when a byte is there.
bool AwaitArrival(uint32_t ms) {
  if (!incoming.empty() && incoming.front().atMs <= now) return true;
  if (!incoming.empty() && incoming.front().atMs - now <= ms) {
    Pass(incoming.front().atMs - now);
    return true;
  }
  Pass(ms);
  return false;
}

}  // namespace

void ScriptedReset() {
  line = PortOs{};
  now = 0;
  stillReadings = 0;
  waited = 0;
  incoming.clear();
  readCostMs = 0;
  writes.clear();
  baudRates.clear();
  waits = 0;
  responder = nullptr;
  missingPorts.clear();
  keys.clear();
  readsBeforeFailure = -1;
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
void ScriptedReadCost(uint32_t ms) { readCostMs = ms; }
void ScriptedFailReadAfter(uint32_t reads) { readsBeforeFailure = reads; }
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
  ++traffic;
  if (responder) responder(bytes);
  return static_cast<int32_t>(count);
}

int32_t PortOsBytesWaiting(PortOs*) { return static_cast<int32_t>(Arrived()); }

int32_t PortOsRead(PortOs*, void* buffer, uint32_t count) {
  if (readsBeforeFailure == 0) {
    readsBeforeFailure = -1;
    return 0;  // the driver's read failed; what was queued stays queued
  }
  if (readsBeforeFailure > 0) --readsBeforeFailure;
  if (!AwaitArrival(kPortIoBoundMs)) return 0;
  auto* out = static_cast<uint8_t*>(buffer);
  uint32_t n = 0;
  while (n < count && !incoming.empty() && incoming.front().atMs <= now) {
    out[n++] = incoming.front().byte;
    incoming.pop_front();
  }
  traffic += n;
  Pass(readCostMs);
  return static_cast<int32_t>(n);
}

bool PortOsWaitForInput(PortOs*, uint32_t ms) {
  ++waits;
  return AwaitArrival(ms);
}

// ---- the clock

uint32_t ClockMs() {
  if (now != readAtMs || traffic != readAtTraffic) {
    readAtMs = now;
    readAtTraffic = traffic;
    stillReadings = 0;
  } else if (++stillReadings > kStillReadingsMax) {
    fprintf(stderr,
            "scripted line: the clock was read %llu times at %u ms while nothing moved: a "
            "wait that never sleeps\n",
            static_cast<unsigned long long>(stillReadings), now);
    abort();
  }
  return now;
}
void SleepMs(uint32_t ms) { Pass(ms); }

// ---- the console keys

void PrepareConsoleKeys() {}
int KeyWaiting() { return 1; }  // a key, or the end of input, is always there at once

int ReadKey() {
  if (keys.empty()) return -1;
  int key = keys.front();
  keys.pop_front();
  return key;
}
