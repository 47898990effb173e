// A COM port driver, a switch on its line and a clock, played in place of Windows.
//
// Installed into win32Calls, it answers the Windows half of the link the way the serial
// drivers people plug in are documented to behave, including the behaviours that a real
// port under Wine never shows:
//   - The line keeps whatever settings the previous program left (serial.sys, FTDI and
//     CP210x do); the program sees them through GetCommState.
//   - The switch talks 8N1 at its rate. A line set otherwise garbles both ways: what the
//     program sends is not understood, and every received byte is a line error.
//   - With fAbortOnError, a line error fails every read and write with
//     ERROR_OPERATION_ABORTED until ClearCommError.
//   - The cable has three wires: DSR and CTS are low. With fDsrSensitivity every received
//     byte is dropped; with CTS or DSR output flow control nothing is ever sent.
//   - A driver need not honour CancelIo: a cancelled request may end at once, late, or
//     never, and until it ends the driver may still write into its buffer.
//   - A pulled adapter fails the requests in flight and every later call with an error.
//   - The console's input mode has QuickEdit on, as a console window has by default;
//     QuickEdit changes only with ENABLE_EXTENDED_FLAGS, which GetConsoleMode never
//     reports.
//   - Time is virtual, in whole milliseconds: it moves only while the program waits or
//     sleeps. The performance counter follows it; the system time can be set, and jumps
//     (msvcrt's clock(), which an earlier Windows half read, counts the system time).
// Waiting without a bound on something that never ends is not played out: the double
// records it as a violation, moves the clock on an hour and fails the call. So is a new
// request that reuses the record or the buffer of one the driver still holds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "link/win32/calls_win32.h"

namespace driver_double {

// What the driver does with a request that CancelIo asks it to end.
enum class Cancel { kAtOnce, kLate, kNever };

// Puts the double in place of Windows, back at its start: the port COM7 present and
// closed, its line at 19200 8N1 with every setting a fresh driver has, the switch at
// 19200 answering nothing, the clock at 0, cancels honoured at once.
void Install();
// Puts Windows back.
void Uninstall();

constexpr int kPort = 7;

// The settings another program left on the line.
DCB& LineState();
// Every DCB the program applied with SetCommState, in order.
const std::vector<DCB>& AppliedStates();
// What the next SetCommTimeouts does: fails when refused.
void RefuseTimeouts(bool refused);
const COMMTIMEOUTS& Timeouts();

// The switch's side: it answers each write (as the switch hears it) with the returned
// bytes, which arrive replyAfterMs later. Bytes it sends unasked arrive at atMs.
void Respond(std::function<std::string(const std::string& heard)> answer,
             uint32_t replyAfterMs = 5);
void SwitchSends(const std::string& bytes, uint32_t atMs);
// The switch's rate (19200 at start).
void SwitchRate(uint32_t baud);
// A line error at atMs: noise, or a probe's bytes at another rate.
void LineErrorAt(uint32_t atMs);

// How cancelled requests end (kLate: lateMs after the cancel).
void CancelBehaviour(Cancel cancel, uint32_t lateMs = 0);
// From now on the driver sends nothing: every write stays pending (a virtual port whose
// other end has stopped reading, a line held off by flow control).
void HoldWrites();
// The next ReadFile fails at once with ERROR_OPERATION_ABORTED (a transient error).
void AbortNextRead();
// The adapter is pulled at atMs: requests in flight end with error, and so does every
// later call on the port.
void RemoveAt(uint32_t atMs, DWORD error);

// The virtual clock.
uint64_t NowMs();
// The system time moves by deltaMs at atMs (a technician, or time synchronisation).
void JumpSystemTimeAt(uint32_t atMs, int64_t deltaMs);

// What went wrong on the program's side: unbounded waits, reused records and buffers.
const std::vector<std::string>& Violations();
// The system timer periods the program has asked for and not given back.
const std::vector<UINT>& TimerPeriods();
// The console's input mode, and the control handlers the program has added.
DWORD ConsoleMode();
const std::vector<PHANDLER_ROUTINE>& ConsoleHandlers();
// ReadFile and WriteFile calls so far.
uint32_t Requests();
// Requests the driver still holds (cancelled or not) that the program no longer waits for.
size_t RequestsInFlight();

}  // namespace driver_double
