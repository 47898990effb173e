// The probe's sockets over BSD sockets.
//
// There is no library to start. The wait for the connection is a poll() rather than a
// select(): select's descriptor sets end at FD_SETSIZE, and a process with many files open
// would write past one. A refused connection makes a POSIX socket writable (with the
// error pending), where Windows never reports it in the write set; the wait therefore
// asks the socket whether it really connected, so both builds answer "not connected".
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "link/clock.h"
#include "net/socket.h"

namespace {

int Fd(SocketHandle socket) { return static_cast<int>(socket); }

}  // namespace

bool SocketsStart() { return true; }

void SocketsStop() {}

SocketHandle SocketOpenTcp() {
  int fd = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return fd < 0 ? kNoSocket : static_cast<SocketHandle>(fd);
}

bool SocketSetNonBlocking(SocketHandle socket) {
  int flags = fcntl(Fd(socket), F_GETFL, 0);
  return flags >= 0 && fcntl(Fd(socket), F_SETFL, flags | O_NONBLOCK) == 0;
}

void SocketConnect(SocketHandle socket, const char* address, uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = inet_addr(address);
  ::connect(Fd(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
}

int32_t SocketWaitWritable(SocketHandle socket, uint32_t timeoutMs) {
  uint32_t start = ClockMs();
  for (;;) {
    uint32_t passed = ClockMs() - start;
    if (passed > timeoutMs) return 0;
    pollfd entry{Fd(socket), POLLOUT, 0};
    int ready = poll(&entry, 1, static_cast<int>(timeoutMs - passed));
    if (ready == 0) return 0;
    if (ready < 0) {
      // A signal cut the wait short: wait for the rest of the time.
      if (errno == EINTR) continue;
      return -1;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      return -1;
    }
    // A connect that failed at once (loopback refuses synchronously) leaves no error
    // pending, only a socket without a peer.
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    if (getpeername(Fd(socket), reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) return -1;
    return 1;
  }
}

int32_t SocketSend(SocketHandle socket, const void* data, uint32_t size) {
  // MSG_NOSIGNAL: a connection the peer has dropped must give an error, not SIGPIPE,
  // which would end the program.
  ssize_t sent = ::send(Fd(socket), data, size, MSG_NOSIGNAL);
  return sent < 0 ? kSocketFailed : static_cast<int32_t>(sent);
}

int32_t SocketReceive(SocketHandle socket, void* buffer, uint32_t size) {
  ssize_t received = ::recv(Fd(socket), buffer, size, 0);
  if (received > 0) return static_cast<int32_t>(received);
  if (received == 0) return kSocketClosed;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return kSocketWouldBlock;
  return kSocketFailed;
}

void SocketShutdownSend(SocketHandle socket) { ::shutdown(Fd(socket), SHUT_WR); }

void SocketClose(SocketHandle socket) { ::close(Fd(socket)); }
