// The probe's sockets over Windows Sockets 2.
//
// Every probe starts and cleans up the library itself (WSAStartup and WSACleanup are
// counted), so it works in a program that uses no other sockets and leaves the count as it
// found it in one that does.
#include <winsock2.h>

#include "net/socket.h"

namespace {

SOCKET Handle(SocketHandle socket) { return static_cast<SOCKET>(socket); }

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

void SocketConnect(SocketHandle socket, const char* address, uint16_t port) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(port);
  peer.sin_addr.s_addr = inet_addr(address);
  ::connect(Handle(socket), reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
}

int32_t SocketWaitWritable(SocketHandle socket, uint32_t timeoutMs) {
  // Windows reports a failed connection in the exception set only; with just the write
  // set a refused connection waits out the time-out.
  fd_set writable;
  FD_ZERO(&writable);
  FD_SET(Handle(socket), &writable);
  timeval limit{static_cast<long>(timeoutMs / 1000u), static_cast<long>(timeoutMs % 1000u) * 1000L};
  int ready = select(0, nullptr, &writable, nullptr, &limit);
  if (ready == SOCKET_ERROR) return -1;
  return ready == 0 ? 0 : 1;
}

int32_t SocketSend(SocketHandle socket, const void* data, uint32_t size) {
  int sent = ::send(Handle(socket), static_cast<const char*>(data), static_cast<int>(size), 0);
  return sent == SOCKET_ERROR ? kSocketFailed : static_cast<int32_t>(sent);
}

int32_t SocketReceive(SocketHandle socket, void* buffer, uint32_t size) {
  int received = ::recv(Handle(socket), static_cast<char*>(buffer), static_cast<int>(size), 0);
  if (received > 0) return static_cast<int32_t>(received);
  if (received == 0) return kSocketClosed;
  return WSAGetLastError() == WSAEWOULDBLOCK ? kSocketWouldBlock : kSocketFailed;
}

void SocketShutdownSend(SocketHandle socket) { ::shutdown(Handle(socket), SD_SEND); }

void SocketClose(SocketHandle socket) { closesocket(Handle(socket)); }
