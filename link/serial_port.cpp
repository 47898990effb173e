#include "link/serial_port.h"

#include <string>

#include "link/clock.h"
#include "link/console_output.h"
#include "link/serial_port_os.h"

SerialPort linkPort;
uint32_t linkBaudRate{};

int32_t SerialPort::Open(int32_t portNumber, uint32_t baudRate) {
  if (os != nullptr) {
    const std::string text = "Com" + std::to_string(portNumber) + " already open!\n";
    ConsoleWrite(text.data(), text.size());
    return 1;
  }
  os = PortOsOpen(portNumber, baudRate);
  return os != nullptr ? 1 : 0;
}

int32_t SerialPort::SetBaudRate(uint32_t baudRate) {
  if (os == nullptr) return 0;
  if (PortOsSetBaudRate(os, baudRate)) return 1;
  // A port whose settings could not be changed is in an unknown state: let it go.
  Close();
  return 0;
}

int32_t SerialPort::Close() {
  if (os != nullptr) PortOsClose(os);
  os = nullptr;
  return 1;
}

int32_t SerialPort::Write(const void* data, uint32_t count) {
  if (os == nullptr) return 0;
  return PortOsWrite(os, data, count);
}

int32_t SerialPort::BytesWaiting() { return os != nullptr ? PortOsBytesWaiting(os) : 0; }

int32_t SerialPort::Read(void* buffer, uint32_t count) {
  return os != nullptr && count != 0 ? PortOsRead(os, buffer, count) : 0;
}

bool SerialPort::WaitForInput(uint32_t ms) {
  if (os == nullptr) {
    // Nothing will ever arrive; still take the time, so that a caller's wait loop
    // sleeps rather than spins.
    SleepMs(ms);
    return false;
  }
  return PortOsWaitForInput(os, ms);
}

int32_t OpenLink(int32_t portNumber) {
  int32_t opened = linkPort.Open(portNumber, 19200);
  linkBaudRate = opened ? 19200 : 0;
  return opened;
}

int32_t SetLinkBaudRate(uint32_t baudRate) {
  int32_t changed = linkPort.SetBaudRate(baudRate);
  linkBaudRate = changed ? baudRate : 0;
  return changed;
}

void CloseLink() {
  linkPort.Close();
  linkBaudRate = 0;
}
