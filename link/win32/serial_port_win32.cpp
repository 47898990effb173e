// SerialPort over a Windows COM port opened for overlapped I/O.
//
// Overlapped mode is used for one reason: to put a 1000 ms bound on every read and write,
// so that a switch that stops talking, or a USB adapter that is pulled out, never hangs
// the program. At most one read and one write are in flight, each with its own record.
#include <windows.h>

#include <cstdio>

#include "link/serial_port.h"

SerialPort linkPort;
uint32_t linkBaudRate = 0;

namespace {

constexpr DWORD kIoBoundMs = 1000;
constexpr DWORD kQueueBytes = 10000;

void ReleaseAll(SerialPort* port) {
  if (port->readOverlapped.hEvent) CloseHandle(port->readOverlapped.hEvent);
  if (port->writeOverlapped.hEvent) CloseHandle(port->writeOverlapped.hEvent);
  if (port->handle && port->handle != INVALID_HANDLE_VALUE) CloseHandle(port->handle);
  port->readOverlapped.hEvent = nullptr;
  port->writeOverlapped.hEvent = nullptr;
  port->handle = nullptr;
  port->isOpen = 0;
}

// Sets the rate and 8 data bits on the DCB read back from the driver; with fullSetup also
// turns off every kind of flow control and DTR.
BOOL ApplyState(HANDLE handle, uint32_t baudRate, bool fullSetup) {
  DCB dcb;
  ZeroMemory(&dcb, sizeof dcb);
  dcb.DCBlength = 28;  // sizeof(DCB) on every Windows version this program supports
  GetCommState(handle, &dcb);
  dcb.BaudRate = baudRate;
  dcb.ByteSize = 8;
  if (fullSetup) {
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
  }
  return SetCommState(handle, &dcb);
}

// Finishes an overlapped transfer that ReadFile or WriteFile started: 0 on time-out or
// error, else the byte count.
int32_t Complete(SerialPort* port, BOOL started, OVERLAPPED* overlapped, bool flush) {
  if (!started) {
    if (GetLastError() != ERROR_IO_PENDING) return 0;
    if (WaitForSingleObject(overlapped->hEvent, kIoBoundMs) == WAIT_TIMEOUT) {
      // Do not leave the transfer running against a buffer the caller is about to reuse.
      CancelIo(port->handle);
      DWORD ignored = 0;
      GetOverlappedResult(port->handle, overlapped, &ignored, TRUE);
      return 0;
    }
  }
  if (flush) FlushFileBuffers(port->handle);
  DWORD transferred = 0;
  if (!GetOverlappedResult(port->handle, overlapped, &transferred, TRUE)) return 0;
  return static_cast<int32_t>(transferred);
}

}  // namespace

int32_t SerialPort::Open(int32_t portNumber, uint32_t baudRate) {
  if (isOpen) {
    printf("Com%d already open!\n", portNumber);
    return 1;
  }
  char path[32];
  // The device namespace path reaches COM10 to COM99 as well as COM1 to COM9.
  snprintf(path, sizeof path, "\\\\.\\COM%d", static_cast<int>(portNumber));
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return 0;
  handle = h;
  isOpen = 1;
  ZeroMemory(&readOverlapped, sizeof readOverlapped);
  ZeroMemory(&writeOverlapped, sizeof writeOverlapped);

  COMMTIMEOUTS timeouts;
  ZeroMemory(&timeouts, sizeof timeouts);
  timeouts.ReadIntervalTimeout = 10;
  SetCommTimeouts(handle, &timeouts);

  readOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  writeOverlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);

  BOOL configured = ApplyState(handle, baudRate, true);
  if (configured) configured = SetupComm(handle, kQueueBytes, kQueueBytes);
  if (configured && readOverlapped.hEvent && writeOverlapped.hEvent) return 1;
  ReleaseAll(this);
  return 0;
}

int32_t SerialPort::SetBaudRate(uint32_t baudRate) {
  if (!isOpen || handle == nullptr) return 0;
  if (!ApplyState(handle, baudRate, false)) {
    ReleaseAll(this);
    return 0;
  }
  return 1;
}

int32_t SerialPort::Close() {
  if (isOpen) ReleaseAll(this);
  readOverlapped.hEvent = nullptr;
  writeOverlapped.hEvent = nullptr;
  handle = nullptr;
  isOpen = 0;
  return 1;
}

int32_t SerialPort::Write(const void* data, uint32_t count) {
  if (!isOpen || handle == nullptr) return 0;
  BOOL started = WriteFile(handle, data, count, nullptr, &writeOverlapped);
  return Complete(this, started, &writeOverlapped, true);
}

int32_t SerialPort::BytesWaiting() {
  if (!isOpen || handle == nullptr) return 0;
  DWORD errors = 0;
  COMSTAT status;
  ZeroMemory(&status, sizeof status);
  if (!ClearCommError(handle, &errors, &status)) return 0;
  return static_cast<int32_t>(status.cbInQue);
}

int32_t SerialPort::Read(void* buffer, uint32_t count) {
  if (!isOpen || handle == nullptr) return 0;
  BOOL started = ReadFile(handle, buffer, count, nullptr, &readOverlapped);
  return Complete(this, started, &readOverlapped, false);
}
