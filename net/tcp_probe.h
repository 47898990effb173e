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

// Results of TcpProbe.
constexpr int32_t kTcpProbeSent = 0;           // "^P$" went out; the reply wait is over
constexpr int32_t kTcpProbeNoSockets = 1;      // the socket library did not start
constexpr int32_t kTcpProbeNoSocket = 2;       // no usable socket
constexpr int32_t kTcpProbeNotConnected = 3;   // not connected within 1 second
constexpr int32_t kTcpProbeSendFailed = 4;     // "^P$" could not be sent

// Probes the switch and waits up to replyLimitMs for a reply. Blocks for at most one
// second plus the limit. A reply and a silent switch both give kTcpProbeSent: the probe
// asks whether the switch takes a connection and the probe line, which both answer.
int32_t TcpProbe(uint32_t replyLimitMs);

// Where TcpProbe connects. It is the switch, except while a test has aimed the probe at
// a listener of its own on the loopback interface.
struct TcpEndpoint {
  const char* address;  // dotted IPv4
  uint16_t port;
};
TcpEndpoint TcpProbeEndpoint();
void AimTcpProbe(const char* address, uint16_t port);
void AimTcpProbeAtSwitch();
