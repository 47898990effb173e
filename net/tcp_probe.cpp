#include "net/tcp_probe.h"

#include "link/clock.h"
#include "net/socket.h"

namespace {

constexpr uint32_t kConnectTimeoutMs = 1000;
constexpr uint32_t kReplyPollMs = 10;
constexpr uint32_t kReplyBufferSize = 1000;
// The heart of the serial probe line, without its escape and probe character.
constexpr char kProbeLine[] = "^P$";
constexpr uint32_t kProbeLineLength = sizeof kProbeLine - 1;

TcpEndpoint aimedEndpoint = {kSwitchAddress, kSwitchTcpPort};

// Closes what is open and returns result, so that every way out releases the socket
// and the socket library.
TcpProbeResult Finish(SocketHandle socket, TcpProbeResult result) {
  if (socket != kNoSocket) SocketClose(socket);
  SocketsStop();
  return result;
}

}  // namespace

TcpEndpoint TcpProbeEndpoint() { return aimedEndpoint; }

void AimTcpProbe(const char* address, uint16_t port) { aimedEndpoint = {address, port}; }

void AimTcpProbeAtSwitch() { aimedEndpoint = {kSwitchAddress, kSwitchTcpPort}; }

TcpProbeResult TcpProbe(uint32_t replyLimitMs) {
  if (!SocketsStart()) return TcpProbeResult::NoSockets;
  SocketHandle socket = SocketOpenTcp();
  if (socket == kNoSocket) return Finish(kNoSocket, TcpProbeResult::NoSocket);
  // A socket that stays blocking is given up (doc/differences.md).
  if (!SocketSetNonBlocking(socket)) return Finish(socket, TcpProbeResult::NoSocket);

  // An address that does not read as one connects nowhere: a connection to a guess at
  // what it meant could reach some other machine.
  TcpEndpoint endpoint = TcpProbeEndpoint();
  if (!SocketConnect(socket, endpoint.address, endpoint.port) ||
      SocketWaitWritable(socket, kConnectTimeoutMs) != SocketWaitResult::Connected) {
    return Finish(socket, TcpProbeResult::NotConnected);
  }
  if (SocketSend(socket, kProbeLine, kProbeLineLength) != static_cast<int32_t>(kProbeLineLength)) {
    return Finish(socket, TcpProbeResult::SendFailed);
  }

  // Any reply, an error, or the peer closing ends the wait (doc/differences.md).
  char reply[kReplyBufferSize];
  uint32_t received = 0;
  uint32_t start = ClockMs();
  while (!ElapsedMs(start, replyLimitMs)) {
    if (SocketReceive(socket, reply, sizeof reply, &received) != SocketReceiveResult::WouldBlock) {
      SocketShutdownSend(socket);
      break;
    }
    SleepMs(kReplyPollMs);
  }
  return Finish(socket, TcpProbeResult::Sent);
}
