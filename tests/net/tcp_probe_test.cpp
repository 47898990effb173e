#include "net/tcp_probe.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "link/clock.h"
#include "net/loopback_peer.h"

namespace {

// Every probe here goes to a peer on 127.0.0.1; the probe is aimed back at the switch's
// address only when the test is over, and never fired there.
class TcpProbeTest : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer.Listening());
    AimTcpProbe("127.0.0.1", peer.Port());
  }
  void TearDown() override { AimTcpProbeAtSwitch(); }

  // Runs the probe while the peer thread plays the switch; returns the probe's result and
  // the time it took.
  template <typename PeerPart>
  TcpProbeResult Probe(uint32_t replyLimitMs, PeerPart peerPart, uint32_t* tookMs) {
    std::thread peerThread(peerPart);
    uint32_t start = ClockMs();
    TcpProbeResult result = TcpProbe(replyLimitMs);
    *tookMs = ClockMs() - start;
    peerThread.join();
    return result;
  }

  LoopbackPeer peer;
};

TEST_F(TcpProbeTest, ReportsNotConnectedWhenNothingListens) {
  AimTcpProbe("127.0.0.1", RefusingLoopbackPort());
  uint32_t start = ClockMs();
  EXPECT_EQ(TcpProbe(100), TcpProbeResult::NotConnected);
  EXPECT_LT(ClockMs() - start, 5000u);  // the connection wait is one second
}

// Each of these reads as the loopback address to the system's lenient readers, so a probe
// that guessed would reach the peer listening there.
TEST_F(TcpProbeTest, ConnectsNowhereWhenTheAddressDoesNotReadCleanly) {
  for (const char* address : {"127.1", "0x7f.0.0.1", "0177.0.0.1", "127.0.0.1 ", ""}) {
    AimTcpProbe(address, peer.Port());
    EXPECT_EQ(TcpProbe(100), TcpProbeResult::NotConnected) << '"' << address << '"';
  }
  AimTcpProbe(nullptr, peer.Port());
  EXPECT_EQ(TcpProbe(100), TcpProbeResult::NotConnected);
}

TEST_F(TcpProbeTest, SendsTheProbeLineAndWaitsOutASilentPeer) {
  std::string received;
  bool ended = false;
  uint32_t took;
  TcpProbeResult result = Probe(
      300,
      [&] {
        if (!peer.Accept(10000)) return;
        received = peer.Read(3, 10000);
        ended = peer.WaitForEnd(10000);  // silent until the probe gives up and closes
      },
      &took);
  EXPECT_EQ(result, TcpProbeResult::Sent);
  EXPECT_EQ(received, "^P$");
  EXPECT_TRUE(ended);
}

TEST_F(TcpProbeTest, EndsTheWaitAsSoonAsThePeerAnswers) {
  std::string received;
  uint32_t took;
  TcpProbeResult result = Probe(
      60000,
      [&] {
        if (!peer.Accept(10000)) return;
        received = peer.Read(3, 10000);
        peer.Send("^+\r");
        peer.WaitForEnd(10000);
      },
      &took);
  EXPECT_EQ(result, TcpProbeResult::Sent);
  EXPECT_EQ(received, "^P$");
  EXPECT_LT(took, 30000u);  // well under the 60 s limit
}

TEST_F(TcpProbeTest, EndsTheWaitWhenThePeerCloses) {
  uint32_t took;
  TcpProbeResult result = Probe(
      60000,
      [&] {
        if (!peer.Accept(10000)) return;
        peer.Read(3, 10000);
        peer.Drop();
      },
      &took);
  EXPECT_EQ(result, TcpProbeResult::Sent);
  EXPECT_LT(took, 30000u);
}

}  // namespace

// Callers act on the probe's numbers, as it has always answered them.
TEST(TcpProbeResult, EveryResultKeepsItsNumber) {
  EXPECT_EQ(static_cast<int>(TcpProbeResult::Sent), 0);
  EXPECT_EQ(static_cast<int>(TcpProbeResult::NoSockets), 1);
  EXPECT_EQ(static_cast<int>(TcpProbeResult::NoSocket), 2);
  EXPECT_EQ(static_cast<int>(TcpProbeResult::NotConnected), 3);
  EXPECT_EQ(static_cast<int>(TcpProbeResult::SendFailed), 4);
}
