#include <winsock2.h>

#include "net/test_sockets.h"

SocketHandle TestBindLoopback(bool listen, uint16_t* port) {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      (listen && ::listen(s, 1) != 0)) {
    closesocket(s);
    return kNoSocket;
  }
  *port = ntohs(address.sin_port);
  return static_cast<SocketHandle>(s);
}

bool TestWaitReadable(SocketHandle socket, uint32_t waitMs) {
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(static_cast<SOCKET>(socket), &readable);
  timeval limit{static_cast<long>(waitMs / 1000u), static_cast<long>(waitMs % 1000u) * 1000L};
  return select(0, &readable, nullptr, nullptr, &limit) > 0;
}

SocketHandle TestAccept(SocketHandle listener) {
  SOCKET s = accept(static_cast<SOCKET>(listener), nullptr, nullptr);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s);
}
