#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "net/test_sockets.h"

void TestSocketsStart() {}
void TestSocketsStop() {}

TestSocket TestBindLoopback(bool listen, uint16_t* port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd < 0) return kNoTestSocket;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0 ||
      (listen && ::listen(fd, 1) != 0)) {
    close(fd);
    return kNoTestSocket;
  }
  *port = ntohs(address.sin_port);
  return fd;
}

bool TestWaitReadable(TestSocket socket, uint32_t waitMs) {
  pollfd entry{static_cast<int>(socket), POLLIN, 0};
  return poll(&entry, 1, static_cast<int>(waitMs)) > 0;
}

TestSocket TestAccept(TestSocket listener) {
  int fd = accept(static_cast<int>(listener), nullptr, nullptr);
  return fd < 0 ? kNoTestSocket : fd;
}

int32_t TestReceive(TestSocket socket, char* buffer, int32_t size) {
  return static_cast<int32_t>(recv(static_cast<int>(socket), buffer, static_cast<size_t>(size), 0));
}

bool TestSend(TestSocket socket, const char* data, int32_t size) {
  return send(static_cast<int>(socket), data, static_cast<size_t>(size), MSG_NOSIGNAL) == size;
}

void TestClose(TestSocket socket) { close(static_cast<int>(socket)); }
