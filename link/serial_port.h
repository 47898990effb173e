// The one COM port through which all traffic to the switch goes.
//
// SerialPort turns a port into four blocking operations that never wait longer than
// 1000 ms: write a buffer, ask how many received bytes are queued, read a buffer, and
// change the baud rate. The fields it keeps differ per OS (serial_port_state.h in
// link/win32 or link/posix); the operations and their results are the same everywhere.
#pragma once

#include <cstdint>

#include "serial_port_state.h"

struct SerialPort : SerialPortState {
  // 1 when the port is open at baudRate (8 data bits, no flow control, DTR off), else 0.
  // Opening an open object prints "Com%d already open!\n" and leaves the old port open.
  int32_t Open(int32_t portNumber, uint32_t baudRate);
  // 1 on success; 0 when the port is not open or the change failed (the port is then closed).
  int32_t SetBaudRate(uint32_t baudRate);
  // Always 1; closing a closed port is harmless.
  int32_t Close();
  // Bytes written; 0 when not open, on an error, or when the bytes did not go out in 1000 ms.
  // Returns only after the bytes have been handed to the line.
  int32_t Write(const void* data, uint32_t count);
  // Received bytes queued in the driver; 0 when not open or when the query fails.
  int32_t BytesWaiting();
  // Bytes read; 0 when not open, on an error, or when nothing arrived within 1000 ms.
  int32_t Read(void* buffer, uint32_t count);
};

// The program's single port, closed (zero-filled) at start.
extern SerialPort linkPort;
// The baud rate the link currently runs at; 0 when no port is open.
extern uint32_t linkBaudRate;
