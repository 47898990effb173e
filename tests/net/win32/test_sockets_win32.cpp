#include <winsock2.h>

#include "net/test_sockets.h"

void TestSocketsStart() {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
}

void TestSocketsStop() { WSACleanup(); }

TestSocket TestBindLoopback(bool listen, uint16_t* port) {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoTestSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      (listen && ::listen(s, 1) != 0)) {
    closesocket(s);
    return kNoTestSocket;
  }
  *port = ntohs(address.sin_port);
  return static_cast<TestSocket>(s);
}

bool TestWaitReadable(TestSocket socket, uint32_t waitMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(socket), &readable);
  timeval limit{static_cast<long>(waitMs / 1000u), static_cast<long>(waitMs % 1000u) * 1000L};
  return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

TestSocket TestAccept(TestSocket listener) {
  SOCKET s = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kNoTestSocket : static_cast<TestSocket>(s);
}

int32_t TestReceive(TestSocket socket, char* buffer, int32_t size) {
  return recv(static_cast<SOCKET>(socket), buffer, size, 0);
}

bool TestSend(TestSocket socket, const char* data, int32_t size) {
  return send(static_cast<SOCKET>(socket), data, size, 0) == size;
}

void TestClose(TestSocket socket) { closesocket(static_cast<SOCKET>(socket)); }
