// The probe's sockets over BSD sockets.
//
// There is no library to start. The wait for the connection is a poll() rather than a
// select(): select's descriptor sets end at FD_SETSIZE, and a process with many files open
// would write past one. A refused connection makes a POSIX socket writable (with the
// error pending), where Windows never reports it in the write set; the wait therefore
// asks the socket whether it really connected, so both builds answer "not connected".
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

// The portable code lays out the peer's address; connect() takes it as a sockaddr_in.
static_assert(HasSocketAddressIpv4Shape<sockaddr_in>(AF_INET));

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

void SocketConnectTo(SocketHandle socket, const SocketAddressIpv4& peer) {
  // The answer of a socket that does not block is "in progress" or a failure; either way
  // SocketWaitWritable tells the outcome.
  static_cast<void>(::connect(Fd(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer));
}

SocketWaitResult SocketWaitWritable(SocketHandle socket, uint32_t timeoutMs) {
  uint32_t start = ClockMs();
  for (;;) {
    uint32_t passed = ClockMs() - start;
    if (passed > timeoutMs) return SocketWaitResult::TimedOut;
    pollfd entry{Fd(socket), POLLOUT, 0};
    int ready = poll(&entry, 1, static_cast<int>(timeoutMs - passed));
    if (ready == 0) return SocketWaitResult::TimedOut;
    if (ready < 0) {
      // A signal cut the wait short: wait for the rest of the time.
      if (errno == EINTR) continue;
      return SocketWaitResult::Failed;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (getsockopt(Fd(socket), SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
      return SocketWaitResult::Failed;
    }
    // A connect that failed at once (loopback refuses synchronously) leaves no error
    // pending, only a socket without a peer.
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    if (getpeername(Fd(socket), reinterpret_cast<sockaddr*>(&peer), &peerLength) != 0) {
      return SocketWaitResult::Failed;
    }
    return SocketWaitResult::Connected;
  }
}

int32_t SocketSend(SocketHandle socket, const void* data, uint32_t size) {
  // MSG_NOSIGNAL: a connection the peer has dropped must give an error, not SIGPIPE,
  // which would end the program.
  ssize_t sent = ::send(Fd(socket), data, size, MSG_NOSIGNAL);
  return sent < 0 ? kSocketFailed : static_cast<int32_t>(sent);
}

SocketReceiveResult SocketReceive(SocketHandle socket, void* buffer, uint32_t size,
                                  uint32_t* received) {
  ssize_t count = ::recv(Fd(socket), buffer, size, 0);
  if (count > 0) {
    *received = static_cast<uint32_t>(count);
    return SocketReceiveResult::Received;
  }
  if (count == 0) return SocketReceiveResult::Closed;
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
    return SocketReceiveResult::WouldBlock;
  }
  return SocketReceiveResult::Failed;
}

void SocketShutdownSend(SocketHandle socket) { ::shutdown(Fd(socket), SHUT_WR); }

void SocketClose(SocketHandle socket) { ::close(Fd(socket)); }
