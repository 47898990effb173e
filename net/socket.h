// The socket operations of the TCP probe. The probe's steps are the same everywhere; only
// the calls below differ, and each has one implementation per OS
// (net/posix/socket_posix.cpp, net/win32/socket_win32.cpp). SocketConnect is the one
// exception: reading the address and laying it out for the socket library are the same on
// both, so that part is written once (net/socket.cpp) and each OS half only connects.
#pragma once

#include <cstddef>
#include <cstdint>

using SocketHandle = intptr_t;
constexpr SocketHandle kNoSocket = -1;

// SocketSend's answer when the send failed.
constexpr int32_t kSocketFailed = -1;

enum class SocketWaitResult : int {
  Connected,  // the connection is up and writable
  TimedOut,   // the time passed first
  Failed,     // the wait failed, or the connection was refused
};

enum class SocketReceiveResult : int {
  Received,    // one byte or more arrived
  Closed,      // the peer ended the connection
  WouldBlock,  // nothing has arrived yet
  Failed,
};

// An IPv4 socket address in the shape both socket libraries give their own (sockaddr_in):
// the family in host order, the port and the address in network order (most significant
// byte first), then eight bytes of zeros. It is aligned as sockaddr_in is, for its 32-bit
// address.
struct alignas(4) SocketAddressIpv4 {
  uint16_t family;
  uint8_t port[2];
  uint8_t address[4];
  uint8_t zero[8];
};
constexpr uint16_t kSocketFamilyIpv4 = 2;  // AF_INET of both libraries

// Whether a socket library's sockaddr_in, with its AF_INET, has the shape above. Each OS
// half asserts it at compile time, so that the address can be handed to connect() as it is.
template <typename SockaddrIn>
constexpr bool HasSocketAddressIpv4Shape(int familyIpv4) {
  return familyIpv4 == kSocketFamilyIpv4 && sizeof(SockaddrIn) == sizeof(SocketAddressIpv4) &&
         offsetof(SockaddrIn, sin_family) == 0 &&
         sizeof(SockaddrIn::sin_family) == sizeof(SocketAddressIpv4::family) &&
         offsetof(SockaddrIn, sin_port) == offsetof(SocketAddressIpv4, port) &&
         offsetof(SockaddrIn, sin_addr) == offsetof(SocketAddressIpv4, address);
}

// Starts the socket library for one probe (Windows Sockets 2.2); false when it did not
// start, and then SocketsStop must not be called.
bool SocketsStart();
void SocketsStop();

SocketHandle SocketOpenTcp();  // IPv4 stream socket, or kNoSocket
bool SocketSetNonBlocking(SocketHandle socket);
// Starts connecting to a dotted IPv4 address (see net/ipv4_address.h); whether it
// connected is learnt from SocketWaitWritable. False, with nothing started, when the
// address does not read as one. Portable: net/socket.cpp.
bool SocketConnect(SocketHandle socket, const char* address, uint16_t port);
// The OS half of SocketConnect: starts connecting to peer and ignores the immediate
// answer, which for a socket that does not block is "in progress" or a failure that
// SocketWaitWritable reports in turn.
void SocketConnectTo(SocketHandle socket, const SocketAddressIpv4& peer);
SocketWaitResult SocketWaitWritable(SocketHandle socket, uint32_t timeoutMs);
// Bytes sent, or kSocketFailed.
int32_t SocketSend(SocketHandle socket, const void* data, uint32_t size);
// Reads up to size bytes into buffer; *received is the count when the answer is Received.
SocketReceiveResult SocketReceive(SocketHandle socket, void* buffer, uint32_t size,
                                  uint32_t* received);
void SocketShutdownSend(SocketHandle socket);
void SocketClose(SocketHandle socket);
