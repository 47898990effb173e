// The OS half of SerialPort over a Windows COM port opened for overlapped I/O.
//
// Overlapped mode is used for one reason: to put a bound on every read, write and wait,
// so that a switch that stops talking, or a USB adapter that is pulled out, never hangs
// the program. At most one read and one write are in flight, each with its own record.
//
// Every wait on the driver has a bound, even the wait for a cancel to take effect:
// drivers need not honour CancelIo, and older USB serial drivers and some virtual ports
// do not. A transfer that is still running once that bound has passed is let go, with its
// record and buffer, which the driver may still write into; they are never freed or
// reused, and the port is dead from then on: every call fails as it would on a pulled
// adapter, until the port is closed.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "calls_win32.h"
#include "link/clock.h"
#include "link/serial_port_os.h"
#include "transfer_wait_win32.h"

namespace {

// One transfer's record, event and bytes. A read is made into bytes and copied out to the
// caller, a write is sent from a copy: the driver never holds memory of the caller's.
struct Transfer {
  OVERLAPPED overlapped = {};
  HANDLE event = nullptr;
  std::vector<uint8_t> bytes;
};

}  // namespace

struct PortOs {
  HANDLE handle = nullptr;  // null while the slot is free
  Transfer* read = nullptr;
  Transfer* write = nullptr;
  // A transfer outlived its cancel: the driver no longer answers as it should.
  bool dead = false;
  // The byte that a wait for input took off the line; the next read hands it out first.
  bool held = false;
  uint8_t heldByte = 0;
};

namespace {

PortOs ports[kPortOsSlots];

constexpr DWORD kQueueBytes = 10000;
// How long a cancelled transfer may take to end. Drivers that honour CancelIo end it at
// once; one that has not ended it in this time is taken as one that never will.
constexpr DWORD kCancelBoundMs = 200;

Transfer* NewTransfer() {
  HANDLE event = win32Calls.CreateEventA(nullptr, TRUE, FALSE, nullptr);
  if (event == nullptr) return nullptr;
  auto* t = new Transfer;
  t->event = event;
  return t;
}

void DeleteTransfer(Transfer* t) {
  if (t == nullptr) return;
  win32Calls.CloseHandle(t->event);
  delete t;
}

void Release(PortOs* port) {
  DeleteTransfer(port->read);
  DeleteTransfer(port->write);
  if (port->handle && port->handle != INVALID_HANDLE_VALUE) win32Calls.CloseHandle(port->handle);
  *port = PortOs{};
}

// Sets every setting that the bytes on the line depend on, on open and on every rate
// change. Drivers keep the previous program's settings across opens (and usbser.sys
// reports the device's own line coding), so nothing is taken as the driver reports it:
// 8 data bits, no parity, one stop bit, binary; no parity check, no abort on error (a
// line error would fail every read and write until cleared), no DSR sensitivity (a
// three-wire cable would drop every received byte), no null stripping, no error
// character; no flow control of any kind. DTR is off: some adapters wire it to the
// switch's reset or ISP line. RTS is on and stays on: it is what the POSIX build leaves
// on the line (the tty raises it on open), an adapter or cable that waits for the host's
// RTS before it passes bytes on then passes them, and the switch uses no handshake for
// RTS to take part in. Only the XON/XOFF characters and limits are kept from the driver,
// which checks them although they are not used.
bool ApplyState(HANDLE handle, uint32_t baudRate) {
  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = sizeof dcb;
  if (!win32Calls.GetCommState(handle, &dcb)) {
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
  }
  if (dcb.XonChar == dcb.XoffChar) {
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
  }
  dcb.BaudRate = baudRate;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fNull = FALSE;
  dcb.fErrorChar = FALSE;
  dcb.ErrorChar = 0;
  dcb.EofChar = 0;
  dcb.EvtChar = 0;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fTXContinueOnXoff = TRUE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  return win32Calls.SetCommState(handle, &dcb) != FALSE;
}

// How a transfer ended.
enum class End {
  kDone,      // by itself
  kTimedOut,  // cancelled when its time was up (a read keeps what it took)
  kAborted,   // ERROR_OPERATION_ABORTED that no cancel of ours caused: worth one more try
  kFailed,    // any other error (a pulled adapter), or the port is dead
};

struct Outcome {
  End end;
  DWORD bytes;
};

End EndOf(DWORD error) { return error == ERROR_OPERATION_ABORTED ? End::kAborted : End::kFailed; }

// Starts a read of count bytes into, or a write of the count bytes of data from, the
// port's transfer, and waits at most ms for it to end. When it has not, it is cancelled
// and waited for at most kCancelBoundMs more; one that has still not ended is let go and
// the port is dead.
Outcome Run(PortOs* port, Transfer** slot, const void* data, uint32_t count, DWORD ms) {
  if (port->dead || *slot == nullptr) return {End::kFailed, 0};
  Transfer* t = *slot;
  if (t->bytes.size() < count) t->bytes.resize(count);
  if (data != nullptr) memcpy(t->bytes.data(), data, count);
  t->overlapped = OVERLAPPED{};
  t->overlapped.hEvent = t->event;
  BOOL started =
      data == nullptr
          ? win32Calls.ReadFile(port->handle, t->bytes.data(), count, nullptr, &t->overlapped)
          : win32Calls.WriteFile(port->handle, t->bytes.data(), count, nullptr, &t->overlapped);
  bool cancelled = false;
  if (!started) {
    DWORD error = win32Calls.GetLastError();
    if (error != ERROR_IO_PENDING) return {EndOf(error), 0};
    if (!TransferEnded(win32Calls.WaitForSingleObject(t->event, ms))) {
      win32Calls.CancelIo(port->handle);
      cancelled = true;
      if (!TransferEnded(win32Calls.WaitForSingleObject(t->event, kCancelBoundMs))) {
        *slot = nullptr;  // left to the driver for good: never freed, never reused
        port->dead = true;
        return {End::kFailed, 0};
      }
    }
  }
  DWORD bytes = 0;
  if (win32Calls.GetOverlappedResult(port->handle, &t->overlapped, &bytes, FALSE)) {
    return {cancelled ? End::kTimedOut : End::kDone, bytes};
  }
  DWORD error = win32Calls.GetLastError();
  if (cancelled && error == ERROR_OPERATION_ABORTED) return {End::kTimedOut, bytes};
  return {EndOf(error), bytes};
}

// Clears a line error and the driver's abort state that it may have caused.
void ClearLineError(HANDLE handle) {
  DWORD errors = 0;
  win32Calls.ClearCommError(handle, &errors, nullptr);
}

// Runs a transfer within ms, trying once more after one ERROR_OPERATION_ABORTED (a line
// error on a driver that aborts on errors, or a stray cancel); a second one in the same
// bound is taken as a device that is gone.
Outcome RunWithin(PortOs* port, Transfer** slot, const void* data, uint32_t count, DWORD ms) {
  uint32_t start = ClockMs();
  Outcome outcome = Run(port, slot, data, count, ms);
  if (outcome.end != End::kAborted) return outcome;
  ClearLineError(port->handle);
  uint32_t spent = ClockMs() - start;
  if (spent >= ms) return {End::kTimedOut, 0};
  return Run(port, slot, data, count, ms - spent);
}

// Waits, in bounded steps, until the driver has handed every written byte to the line.
// A driver that does not count its output queue has nothing to wait for.
void AwaitDrained(PortOs* port, uint32_t start, uint32_t limit) {
  for (;;) {
    DWORD errors = 0;
    COMSTAT status;
    ZeroMemory(&status, sizeof status);
    if (!win32Calls.ClearCommError(port->handle, &errors, &status) || status.cbOutQue == 0) {
      return;
    }
    if (ClockMs() - start >= limit) return;
    SleepMs(1);
  }
}

}  // namespace

PortOs* PortOsOpen(int32_t portNumber, uint32_t baudRate) {
  PortOs* port = nullptr;
  for (PortOs& p : ports) {
    if (p.handle == nullptr) {
      port = &p;
      break;
    }
  }
  if (port == nullptr) return nullptr;
  char path[32];
  // The device namespace path reaches COM10 to COM99 as well as COM1 to COM9.
  snprintf(path, sizeof path, "\\\\.\\COM%d", static_cast<int>(portNumber));
  HANDLE h = win32Calls.CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return nullptr;
  *port = PortOs{};
  port->handle = h;

  // Only the interval time-out: a read waits for its first byte (the wait's own bound
  // ends it) and then ends once the line is quiet for 10 ms. Another program's
  // time-outs must never stay in force, so a port that refuses these is not used.
  COMMTIMEOUTS timeouts;
  ZeroMemory(&timeouts, sizeof timeouts);
  timeouts.ReadIntervalTimeout = 10;
  bool configured = win32Calls.SetCommTimeouts(h, &timeouts) != FALSE;

  port->read = NewTransfer();
  port->write = NewTransfer();
  if (configured) configured = ApplyState(h, baudRate);
  if (configured) configured = win32Calls.SetupComm(h, kQueueBytes, kQueueBytes) != FALSE;
  if (configured && port->read && port->write) return port;
  Release(port);
  return nullptr;
}

bool PortOsSetBaudRate(PortOs* port, uint32_t baudRate) {
  return !port->dead && ApplyState(port->handle, baudRate);
}

void PortOsClose(PortOs* port) { Release(port); }

int32_t PortOsWrite(PortOs* port, const void* data, uint32_t count) {
  // Zero bytes would be taken as a read; there is nothing to send.
  if (count == 0) return 0;
  uint32_t start = ClockMs();
  Outcome outcome = RunWithin(port, &port->write, data, count, kPortIoBoundMs);
  if (outcome.end != End::kDone) return 0;
  // The call returns only after the driver has sent the bytes.
  AwaitDrained(port, start, kPortIoBoundMs);
  return static_cast<int32_t>(outcome.bytes);
}

int32_t PortOsBytesWaiting(PortOs* port) {
  int32_t held = port->held ? 1 : 0;
  if (port->dead) return held;
  DWORD errors = 0;
  COMSTAT status;
  ZeroMemory(&status, sizeof status);
  // A line error is cleared here too: it never stops the reading.
  if (!win32Calls.ClearCommError(port->handle, &errors, &status)) return held;
  return static_cast<int32_t>(status.cbInQue) + held;
}

int32_t PortOsRead(PortOs* port, void* buffer, uint32_t count) {
  if (port->held) {
    // The byte a wait took is the next one on the line. Handing it out alone is what a
    // read does when the line goes quiet after one byte; callers read one at a time.
    *static_cast<uint8_t*>(buffer) = port->heldByte;
    port->held = false;
    return 1;
  }
  Outcome outcome = RunWithin(port, &port->read, nullptr, count, kPortIoBoundMs);
  if (outcome.end != End::kDone && outcome.end != End::kTimedOut) return 0;
  if (outcome.bytes > count) return 0;
  memcpy(buffer, port->read->bytes.data(), outcome.bytes);
  return static_cast<int32_t>(outcome.bytes);
}

bool PortOsWaitForInput(PortOs* port, uint32_t ms) {
  if (PortOsBytesWaiting(port) > 0) return true;
  // A one-byte read is the wait: with only the interval time-out set it stays pending
  // until a byte arrives, and it is cancelled when ms pass first. The byte it takes is
  // kept for the next read.
  uint32_t start = ClockMs();
  Outcome outcome = RunWithin(port, &port->read, nullptr, 1, ms);
  if (outcome.bytes == 1 && (outcome.end == End::kDone || outcome.end == End::kTimedOut)) {
    port->heldByte = port->read->bytes[0];
    port->held = true;
    return true;
  }
  // The port no longer reads (a pulled adapter, a dead port), or a read ended early with
  // nothing: let the rest of the time pass here, not in a caller's loop.
  uint32_t spent = ClockMs() - start;
  if (spent < ms) SleepMs(ms - spent);
  return false;
}
