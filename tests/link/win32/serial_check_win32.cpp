// A small Windows program that drives the real SerialPort through one conversation; the
// native test (serial_port_win32_test.cpp) plays the other end on a pseudo-terminal
// linked into Wine's dosdevices folder as the COM port.
#include <cstdio>
#include <cstdlib>

#include "link/link_io.h"
#include "link/serial_port.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  int port = atoi(argv[1]);
  char line[20];
  printf("open %d\n", static_cast<int>(linkPort.Open(port, 19200)));
  printf("again %d\n", static_cast<int>(linkPort.Open(port, 19200)));
  SendString("PING\r\n");
  int n = ReadLineCR(line, 20);
  printf("reply %d %s\n", n, line);
  printf("queued %d\n", static_cast<int>(linkPort.BytesWaiting()));
  FlushInput();
  printf("rate %d\n", static_cast<int>(linkPort.SetBaudRate(115200)));
  SendString("FAST\r\n");
  n = ReadLineCR(line, 20);
  printf("reply %d %s\n", n, line);
  n = ReadLineCR(line, 20);
  printf("silence %d\n", n);
  printf("close %d\n", static_cast<int>(linkPort.Close()));
  printf("closed write %d\n", static_cast<int>(linkPort.Write("x", 1)));
  printf("missing %d\n", static_cast<int>(linkPort.Open(98, 19200)));
  return 0;
}
