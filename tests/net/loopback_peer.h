// A peer on the loopback interface that plays the switch for the TCP probe. Every wait
// is bounded, so a probe that never connects fails the test instead of hanging it.
#pragma once

#include <cstdint>
#include <string>

#include "net/socket.h"

class LoopbackPeer {
 public:
  LoopbackPeer();  // listens on a free port of 127.0.0.1
  ~LoopbackPeer();
  LoopbackPeer(const LoopbackPeer&) = delete;
  LoopbackPeer& operator=(const LoopbackPeer&) = delete;

  bool Listening() const { return listener_ != kNoSocket; }
  uint16_t Port() const { return port_; }
  // Takes one connection that arrives within waitMs.
  bool Accept(uint32_t waitMs);
  // Reads until count bytes arrived, the probe ended its side, or waitMs passed.
  std::string Read(size_t count, uint32_t waitMs);
  bool Send(const std::string& text);
  // True once the probe has ended its side of the connection, within waitMs.
  bool WaitForEnd(uint32_t waitMs);
  // Closes the accepted connection.
  void Drop();

 private:
  bool started_ = false;
  SocketHandle listener_ = kNoSocket;
  SocketHandle connection_ = kNoSocket;
  uint16_t port_ = 0;
};

// A loopback port that nothing listens on: connections to it are refused.
uint16_t RefusingLoopbackPort();
