// POSIX fields of SerialPort: a file descriptor on the tty device.
#pragma once

#include <cstdint>

struct SerialPortState {
  int handle = -1;      // open descriptor, or -1 when closed
  int32_t isOpen = 0;   // 1 from a successful open until the port is closed
};
