// A TCP probe of the switch at its fixed network address.
//
// One short exchange, the network counterpart of the serial probe: connect without
// blocking, wait at most one second for the connection, send "^P$", then wait up to the
// caller's limit for any reply. The result tells how far the exchange got; what the switch
// answers is not examined. Nothing is printed.
#pragma once

#include <cstdint>

// The switch's fixed endpoint.
constexpr const char* kSwitchAddress = "192.168.1.239";
constexpr uint16_t kSwitchTcpPort = 50005;

// Results of TcpProbe, numbered as the probe has always answered them.
enum class TcpProbeResult : int {
  Sent = 0,          // "^P$" went out; the reply wait is over
  NoSockets = 1,     // the socket library did not start
  NoSocket = 2,      // no usable socket
  NotConnected = 3,  // not connected within 1 second, or the address is no dotted IPv4 address
  SendFailed = 4,    // "^P$" could not be sent
};

// Probes the switch and waits up to replyLimitMs for a reply. Blocks for at most one
// second plus the limit. A reply and a silent switch both give Sent: the probe asks
// whether the switch takes a connection and the probe line, which both answer.
TcpProbeResult TcpProbe(uint32_t replyLimitMs);

// Where TcpProbe connects. It is the switch, except while a test has aimed the probe at
// a listener of its own on the loopback interface.
struct TcpEndpoint {
  const char* address;  // dotted IPv4 (net/ipv4_address.h)
  uint16_t port;
};
TcpEndpoint TcpProbeEndpoint();
void AimTcpProbe(const char* address, uint16_t port);
void AimTcpProbeAtSwitch();
