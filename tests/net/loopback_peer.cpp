#include "net/loopback_peer.h"

#include "link/clock.h"

LoopbackPeer::LoopbackPeer() {
  TestSocketsStart();
  listener_ = TestBindLoopback(true, &port_);
}

LoopbackPeer::~LoopbackPeer() {
  Drop();
  if (listener_ != kNoTestSocket) TestClose(listener_);
  TestSocketsStop();
}

bool LoopbackPeer::Accept(uint32_t waitMs) {
  if (listener_ == kNoTestSocket || !TestWaitReadable(listener_, waitMs)) return false;
  connection_ = TestAccept(listener_);
  return connection_ != kNoTestSocket;
}

std::string LoopbackPeer::Read(size_t count, uint32_t waitMs) {
  std::string text;
  uint32_t start = ClockMs();
  while (connection_ != kNoTestSocket && text.size() < count && !ElapsedMs(start, waitMs)) {
    if (!TestWaitReadable(connection_, 50)) continue;
    char buffer[64];
    int32_t received = TestReceive(connection_, buffer, sizeof buffer);
    if (received <= 0) break;
    text.append(buffer, static_cast<size_t>(received));
  }
  return text;
}

bool LoopbackPeer::Send(const std::string& text) {
  return connection_ != kNoTestSocket &&
         TestSend(connection_, text.data(), static_cast<int32_t>(text.size()));
}

bool LoopbackPeer::WaitForEnd(uint32_t waitMs) {
  uint32_t start = ClockMs();
  while (connection_ != kNoTestSocket && !ElapsedMs(start, waitMs)) {
    if (!TestWaitReadable(connection_, 50)) continue;
    char buffer[64];
    if (TestReceive(connection_, buffer, sizeof buffer) <= 0) return true;
  }
  return false;
}

void LoopbackPeer::Drop() {
  if (connection_ != kNoTestSocket) TestClose(connection_);
  connection_ = kNoTestSocket;
}

uint16_t RefusingLoopbackPort() {
  // Bound for a moment to learn a free port, then released without ever listening.
  TestSocketsStart();
  uint16_t port = 0;
  TestSocket socket = TestBindLoopback(false, &port);
  if (socket != kNoTestSocket) TestClose(socket);
  TestSocketsStop();
  return port;
}
