#include "net/loopback_peer.h"

#include "link/clock.h"
#include "net/test_sockets.h"

// The peer keeps the socket library started while it lives: on Windows the probe's own
// clean-up would otherwise end the peer's sockets too.
LoopbackPeer::LoopbackPeer() : started_(SocketsStart()) {
  listener_ = TestBindLoopback(true, &port_);
}

LoopbackPeer::~LoopbackPeer() {
  Drop();
  if (listener_ != kNoSocket) SocketClose(listener_);
  if (started_) SocketsStop();
}

bool LoopbackPeer::Accept(uint32_t waitMs) {
  if (listener_ == kNoSocket || !TestWaitReadable(listener_, waitMs)) return false;
  connection_ = TestAccept(listener_);
  return connection_ != kNoSocket;
}

std::string LoopbackPeer::Read(size_t count, uint32_t waitMs) {
  std::string text;
  uint32_t start = ClockMs();
  while (connection_ != kNoSocket && text.size() < count && !ElapsedMs(start, waitMs)) {
    if (!TestWaitReadable(connection_, 50)) continue;
    char buffer[64];
    uint32_t received = 0;
    if (SocketReceive(connection_, buffer, sizeof buffer, &received) !=
        SocketReceiveResult::Received) {
      break;
    }
    text.append(buffer, received);
  }
  return text;
}

bool LoopbackPeer::Send(const std::string& text) {
  return connection_ != kNoSocket &&
         SocketSend(connection_, text.data(), static_cast<uint32_t>(text.size())) ==
             static_cast<int32_t>(text.size());
}

bool LoopbackPeer::WaitForEnd(uint32_t waitMs) {
  uint32_t start = ClockMs();
  while (connection_ != kNoSocket && !ElapsedMs(start, waitMs)) {
    if (!TestWaitReadable(connection_, 50)) continue;
    char buffer[64];
    uint32_t received = 0;
    if (SocketReceive(connection_, buffer, sizeof buffer, &received) !=
        SocketReceiveResult::Received) {
      return true;
    }
  }
  return false;
}

void LoopbackPeer::Drop() {
  if (connection_ != kNoSocket) SocketClose(connection_);
  connection_ = kNoSocket;
}

uint16_t RefusingLoopbackPort() {
  // Bound for a moment to learn a free port, then released without ever listening.
  bool started = SocketsStart();
  uint16_t port = 0;
  SocketHandle socket = TestBindLoopback(false, &port);
  if (socket != kNoSocket) SocketClose(socket);
  if (started) SocketsStop();
  return port;
}
