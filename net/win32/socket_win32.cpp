// The probe's sockets over Windows Sockets 2.
//
// Every probe starts and cleans up the library itself (WSAStartup and WSACleanup are
// counted), so it works in a program that uses no other sockets and leaves the count as it
// found it in one that does.
#include <winsock2.h>

#include "net/socket.h"

namespace {

SOCKET Handle(SocketHandle socket) { return static_cast<SOCKET>(socket); }

// The portable code lays out the peer's address; connect() takes it as a sockaddr_in.
static_assert(HasSocketAddressIpv4Shape<sockaddr_in>(AF_INET));

}  // namespace

bool SocketsStart() {
  WSADATA data;
  // A failed start did not count; cleaning up after it would undo another user's start.
  return WSAStartup(MAKEWORD(2, 2), &data) == 0;
}

void SocketsStop() { WSACleanup(); }

SocketHandle SocketOpenTcp() {
  SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  return s == INVALID_SOCKET ? kNoSocket : static_cast<SocketHandle>(s);
}

bool SocketSetNonBlocking(SocketHandle socket) {
  u_long on = 1;
  return ioctlsocket(Handle(socket), FIONBIO, &on) == 0;
}

void SocketConnectTo(SocketHandle socket, const SocketAddressIpv4& peer) {
  // The answer of a socket that does not block is "would block" or a failure; either way
  // SocketWaitWritable tells the outcome.
  static_cast<void>(
      ::connect(Handle(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer));
}

SocketWaitResult SocketWaitWritable(SocketHandle socket, uint32_t timeoutMs) {
  // Windows reports a failed connection in the exception set only; with just the write
  // set a refused connection waits out the time-out.
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(Handle(socket), &writable);
  timeval limit{static_cast<long>(timeoutMs / 1000u), static_cast<long>(timeoutMs % 1000u) * 1000L};
  int ready = select(0, nullptr, &writable, nullptr, &limit);
  if (ready == SOCKET_ERROR) return SocketWaitResult::Failed;
  return ready == 0 ? SocketWaitResult::TimedOut : SocketWaitResult::Connected;
}

int32_t SocketSend(SocketHandle socket, const void* data, uint32_t size) {
  int sent = ::send(Handle(socket), static_cast<const char*>(data), static_cast<int>(size), 0);
  return sent == SOCKET_ERROR ? kSocketFailed : static_cast<int32_t>(sent);
}

SocketReceiveResult SocketReceive(SocketHandle socket, void* buffer, uint32_t size,
                                  uint32_t* received) {
  int count = ::recv(Handle(socket), static_cast<char*>(buffer), static_cast<int>(size), 0);
  if (count > 0) {
    *received = static_cast<uint32_t>(count);
    return SocketReceiveResult::Received;
  }
  if (count == 0) return SocketReceiveResult::Closed;
  return WSAGetLastError() == WSAEWOULDBLOCK ? SocketReceiveResult::WouldBlock
                                             : SocketReceiveResult::Failed;
}

void SocketShutdownSend(SocketHandle socket) { ::shutdown(Handle(socket), SD_SEND); }

void SocketClose(SocketHandle socket) { closesocket(Handle(socket)); }
