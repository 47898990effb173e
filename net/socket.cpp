// SocketConnect's portable part: the address read from its text and laid out as the socket
// libraries take it. Only the connect() call itself is left to the OS halves.
#include "net/socket.h"

#include "net/ipv4_address.h"

namespace {

// Network order: the most significant byte first.
void PutBigEndian(uint8_t* bytes, uint32_t value, int count) {
  for (int i = count - 1; i >= 0; --i) {
    bytes[i] = static_cast<uint8_t>(value);
    value >>= 8;
  }
}

}  // namespace

bool SocketConnect(SocketHandle socket, const char* address, uint16_t port) {
  uint32_t host = 0;
  if (!ParseIpv4Address(address, &host)) return false;
  SocketAddressIpv4 peer{};
  peer.family = kSocketFamilyIpv4;
  PutBigEndian(peer.port, port, sizeof peer.port);
  PutBigEndian(peer.address, host, sizeof peer.address);
  SocketConnectTo(socket, peer);
  return true;
}
