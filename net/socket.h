// The socket operations of the TCP probe, one implementation per OS
// (net/posix/socket_posix.cpp, net/win32/socket_win32.cpp). The probe's steps are the same
// everywhere; only these calls differ.
#pragma once

#include <cstdint>

using SocketHandle = intptr_t;
constexpr SocketHandle kNoSocket = -1;

// SocketReceive's answers besides a byte count.
constexpr int32_t kSocketClosed = 0;      // the peer ended the connection
constexpr int32_t kSocketFailed = -1;
constexpr int32_t kSocketWouldBlock = -2; // nothing has arrived yet

// Starts the socket library for one probe (Windows Sockets 2.2); false when it did not
// start, and then SocketsStop must not be called.
bool SocketsStart();
void SocketsStop();

SocketHandle SocketOpenTcp();  // IPv4 stream socket, or kNoSocket
bool SocketSetNonBlocking(SocketHandle socket);
// Starts connecting to a dotted IPv4 address; whether it connected is learnt from
// SocketWaitWritable.
void SocketConnect(SocketHandle socket, const char* address, uint16_t port);
// 1 when the connection is up and writable, 0 when timeoutMs passed first, -1 when the
// wait failed or the connection was refused.
int32_t SocketWaitWritable(SocketHandle socket, uint32_t timeoutMs);
// Bytes sent, or kSocketFailed.
int32_t SocketSend(SocketHandle socket, const void* data, uint32_t size);
// Bytes received, kSocketClosed, kSocketWouldBlock or kSocketFailed.
int32_t SocketReceive(SocketHandle socket, void* buffer, uint32_t size);
void SocketShutdownSend(SocketHandle socket);
void SocketClose(SocketHandle socket);
