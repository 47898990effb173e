// Windows fields of SerialPort: the handle opened for overlapped I/O and one OVERLAPPED
// record (with its own event) for reads and one for writes. The overlapped mode is used
// only to put a 1000 ms bound on every read and write.
#pragma once

#include <windows.h>

#include <cstdint>

struct SerialPortState {
  HANDLE handle = nullptr;
  OVERLAPPED readOverlapped = {};
  OVERLAPPED writeOverlapped = {};
  int32_t isOpen = 0;
};
