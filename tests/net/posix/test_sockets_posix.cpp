#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/test_sockets.h"

SocketHandle TestBindLoopback(bool listen, uint16_t* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd < 0) return kNoSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      (listen && ::listen(fd, 1) != 0)) {
    close(fd);
    return kNoSocket;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

bool TestWaitReadable(SocketHandle socket, uint32_t waitMs) {
  pollfd entry{static_cast<int>(socket), POLLIN, 0};
  return poll(&entry, 1, static_cast<int>(waitMs)) > 0;
}

SocketHandle TestAccept(SocketHandle listener) {
  int fd = accept(static_cast<int>(listener), nullptr, nullptr);
  return fd < 0 ? kNoSocket : fd;
}
