// The one COM port through which all traffic to the switch goes.
//
// SerialPort turns a port into blocking operations that never wait longer than 1000 ms:
// write a buffer, ask how many received bytes are queued, read a buffer, wait for input
// and change the baud rate. What the OS keeps for an open port (a descriptor, or a
// handle with its overlapped records) stays behind link/serial_port_os.h; this type only
// refers to it, so nothing that talks to the switch sees an OS header.
#pragma once

#include <cstdint>

struct PortOs;  // the OS's state of one open port

struct SerialPort {
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
  // Sleeps until a received byte is queued or ms have passed; true when one is. The
  // processor is free meanwhile, and a byte that arrives ends the wait at once.
  bool WaitForInput(uint32_t ms);

  bool IsOpen() const { return os != nullptr; }

  PortOs* os = nullptr;  // null while closed
};

// The program's single port, closed at start.
extern SerialPort linkPort;
// The baud rate the link currently runs at; 0 when no port is open.
extern uint32_t linkBaudRate;

// The one place where the link's rate changes, so that linkBaudRate always follows the
// port: the callers decide when.
// Opens COM portNumber at 19200 baud (the switch's firmware rate); linkBaudRate is 19200,
// or 0 when the port did not open. 1 when open.
int32_t OpenLink(int32_t portNumber);
// Moves the open link to baudRate. A failed change has closed the port, and
// linkBaudRate is then 0 (doc/differences.md). 1 on success.
int32_t SetLinkBaudRate(uint32_t baudRate);
// Closes the link; linkBaudRate is 0. This is also the link's start state, and the way
// back to it.
void CloseLink();
