// The OS half of SerialPort over a Windows COM port opened for overlapped I/O.
//
// Overlapped mode is used for one reason: to put a bound on every read, write and wait,
// so that a switch that stops talking, or a USB adapter that is pulled out, never hangs
// the program. At most one read and one write are in flight, each with its own record.
#include <windows.h>

#include <cstdio>

#include "calls_win32.h"
#include "link/serial_port_os.h"
#include "transfer_wait_win32.h"

struct PortOs {
  HANDLE handle = nullptr;  // null while the slot is free
  OVERLAPPED readOverlapped = {};
  OVERLAPPED writeOverlapped = {};
  // The byte that a wait for input took off the line; the next read hands it out first.
  bool held = false;
  uint8_t heldByte = 0;
};

namespace {

PortOs ports[kPortOsSlots];

constexpr DWORD kQueueBytes = 10000;

void Release(PortOs* port) {
  if (port->readOverlapped.hEvent) win32Calls.CloseHandle(port->readOverlapped.hEvent);
  if (port->writeOverlapped.hEvent) win32Calls.CloseHandle(port->writeOverlapped.hEvent);
  if (port->handle && port->handle != INVALID_HANDLE_VALUE) win32Calls.CloseHandle(port->handle);
  *port = PortOs{};
}

// Sets the rate and 8 data bits on the DCB read back from the driver; with fullSetup also
// turns off every kind of flow control and DTR.
BOOL ApplyState(HANDLE handle, uint32_t baudRate, bool fullSetup) {
  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = 28;  // sizeof(DCB) on every Windows version this program supports
  win32Calls.GetCommState(handle, &dcb);
  dcb.BaudRate = baudRate;
  dcb.ByteSize = 8;
  if (fullSetup) {
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
  }
  return win32Calls.SetCommState(handle, &dcb);
}

// Waits at most ms for a transfer that ReadFile or WriteFile started. When it has not
// ended by then, it is cancelled and waited for: the cancelled transfer ends at once, and
// can then no longer write into a buffer that the caller is about to reuse. True when it
// ended by itself; *transferred holds the bytes it moved either way.
bool AwaitTransfer(PortOs* port, BOOL started, OVERLAPPED* overlapped, DWORD ms,
                   DWORD* transferred) {
  *transferred = 0;
  if (!started) {
    if (win32Calls.GetLastError() != ERROR_IO_PENDING) return false;
    if (!TransferEnded(win32Calls.WaitForSingleObject(overlapped->hEvent, ms))) {
      win32Calls.CancelIo(port->handle);
      win32Calls.GetOverlappedResult(port->handle, overlapped, transferred, TRUE);
      return false;
    }
  }
  return win32Calls.GetOverlappedResult(port->handle, overlapped, transferred, TRUE) != FALSE;
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

  COMMTIMEOUTS timeouts;
  ZeroMemory(&timeouts, sizeof timeouts);
  timeouts.ReadIntervalTimeout = 10;
  win32Calls.SetCommTimeouts(h, &timeouts);

  port->readOverlapped.hEvent = win32Calls.CreateEventA(nullptr, TRUE, FALSE, nullptr);
  port->writeOverlapped.hEvent = win32Calls.CreateEventA(nullptr, TRUE, FALSE, nullptr);

  BOOL configured = ApplyState(h, baudRate, true);
  if (configured) configured = win32Calls.SetupComm(h, kQueueBytes, kQueueBytes);
  if (configured && port->readOverlapped.hEvent && port->writeOverlapped.hEvent) return port;
  Release(port);
  return nullptr;
}

bool PortOsSetBaudRate(PortOs* port, uint32_t baudRate) {
  return ApplyState(port->handle, baudRate, false) != FALSE;
}

void PortOsClose(PortOs* port) { Release(port); }

int32_t PortOsWrite(PortOs* port, const void* data, uint32_t count) {
  BOOL started = win32Calls.WriteFile(port->handle, data, count, nullptr, &port->writeOverlapped);
  DWORD transferred = 0;
  if (!AwaitTransfer(port, started, &port->writeOverlapped, kPortIoBoundMs, &transferred)) return 0;
  // The call returns only after the driver has sent the bytes.
  win32Calls.FlushFileBuffers(port->handle);
  return static_cast<int32_t>(transferred);
}

int32_t PortOsBytesWaiting(PortOs* port) {
  DWORD errors = 0;
  COMSTAT status;
  ZeroMemory(&status, sizeof status);
  if (!win32Calls.ClearCommError(port->handle, &errors, &status)) return port->held ? 1 : 0;
  return static_cast<int32_t>(status.cbInQue) + (port->held ? 1 : 0);
}

int32_t PortOsRead(PortOs* port, void* buffer, uint32_t count) {
  if (port->held) {
    // The byte a wait took is the next one on the line. Handing it out alone is what a
    // read does when the line goes quiet after one byte; callers read one at a time.
    *static_cast<uint8_t*>(buffer) = port->heldByte;
    port->held = false;
    return 1;
  }
  BOOL started = win32Calls.ReadFile(port->handle, buffer, count, nullptr, &port->readOverlapped);
  DWORD transferred = 0;
  if (!AwaitTransfer(port, started, &port->readOverlapped, kPortIoBoundMs, &transferred)) return 0;
  return static_cast<int32_t>(transferred);
}

bool PortOsWaitForInput(PortOs* port, uint32_t ms) {
  if (PortOsBytesWaiting(port) > 0) return true;
  // A one-byte read is the wait: with only the interval time-out set it stays pending
  // until a byte arrives, and it is cancelled when ms pass first. The byte it takes is
  // kept for the next read.
  BOOL started =
      win32Calls.ReadFile(port->handle, &port->heldByte, 1, nullptr, &port->readOverlapped);
  if (!started && win32Calls.GetLastError() != ERROR_IO_PENDING) {
    // The port no longer reads: let the time pass here, not in a caller's loop.
    win32Calls.Sleep(ms);
    return false;
  }
  DWORD transferred = 0;
  AwaitTransfer(port, started, &port->readOverlapped, ms, &transferred);
  port->held = transferred == 1;
  return port->held;
}
