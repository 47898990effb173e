// The OS half of SerialPort: the few calls that differ between Windows and POSIX.
//
// link/serial_port.cpp holds what is the same everywhere (the already-open message, the
// guards against a closed port); link/posix/serial_port_posix.cpp,
// link/win32/serial_port_win32.cpp and the simulated line of the tests,
// link/scripted/serial_port_scripted.cpp, each implement this list and nothing else. A
// program picks one by linking it. A PortOs is only ever handed to these calls between a
// successful PortOsOpen and its PortOsClose.
#pragma once

#include <cstdint>

struct PortOs;

// How long a read waits for its first byte, and a write for the line to take its bytes,
// before the call gives up: every OS half keeps this bound.
constexpr uint32_t kPortIoBoundMs = 1000;

// Opens and configures the port: the rate, 8 data bits, no flow control, DTR off,
// exclusive. Null when the port does not exist, is in use, or cannot be set up (nothing
// is then left open).
PortOs* PortOsOpen(int32_t portNumber, uint32_t baudRate);
// Changes the rate, keeping the other settings; false on failure (the caller closes).
bool PortOsSetBaudRate(PortOs* port, uint32_t baudRate);
void PortOsClose(PortOs* port);
// All count bytes, handed to the line (drained) before it returns; 0 on error or when
// they did not go out within kPortIoBoundMs.
int32_t PortOsWrite(PortOs* port, const void* data, uint32_t count);
int32_t PortOsBytesWaiting(PortOs* port);
// Up to count bytes; returns once count bytes have arrived, or the line has been quiet
// for 10 ms after the first byte, or nothing came within kPortIoBoundMs (0).
int32_t PortOsRead(PortOs* port, void* buffer, uint32_t count);
// Blocks in the OS until a byte is queued or ms have passed; true when one is queued.
bool PortOsWaitForInput(PortOs* port, uint32_t ms);

// At most this many ports are open at once: the program needs one, tests a few.
constexpr int kPortOsSlots = 4;
