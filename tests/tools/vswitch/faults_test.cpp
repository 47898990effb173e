// Faults on demand: each option makes the switch fail in the one way it names.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "switch_test_fixture.h"
#include "testing/arguments.h"

namespace {

using VirtualSwitchFaults = SwitchOnALine;

// The worked example of a W: 8 bytes whose sum is 172.
const char kEightBytes[] = "(`(``$`$!`!H`\r\n172\r\n";

TEST_F(VirtualSwitchFaults, CompareFaultReportsTheOffsetOfItsWord) {
  Start({"--erase", "--fault-compare", "0x10000012"});
  ConnectIsp();
  // RAM against itself: equal, except where the fault sits.
  EXPECT_EQ(isp_.Command("M 268435456 268435456 64"), "10");
  EXPECT_EQ(isp_.NextLine(), "16");
  EXPECT_EQ(isp_.Command("M 268435476 268435476 64"), "0");  // starts past the address
}

TEST_F(VirtualSwitchFaults, ResendAndRefusalStrikeOnlyWhereTheyAreAimed) {
  Start({"--erase", "--fault-resend", "2", "--fault-refuse", "P:2", "--fault-refuse", "J=19"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("W 268435456 8"), "0");
  host_.Write(kEightBytes);
  EXPECT_EQ(isp_.NextLine(), "OK");
  ASSERT_EQ(isp_.Command("W 268435456 8"), "0");
  host_.Write(kEightBytes);
  EXPECT_EQ(isp_.NextLine(), "RESEND");
  host_.Write(kEightBytes);  // the same block again
  EXPECT_EQ(isp_.NextLine(), "OK");
  EXPECT_EQ(isp_.Command("P 0 0 0"), "0");
  EXPECT_EQ(isp_.Command("P 0 0 0"), "7");
  EXPECT_EQ(isp_.Command("P 0 0 0"), "0");
  EXPECT_EQ(isp_.Command("J"), "19");
  EXPECT_EQ(isp_.Command("J"), "19");
}

TEST_F(VirtualSwitchFaults, PowerLossKeepsWhatFlashHeld) {
  // The first block goes through; the next W loses power after 100 more bytes.
  Start({"--erase", "--fault-silence-after-w-bytes", "612"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(1, 1), "");
  ASSERT_EQ(isp_.Program(0x1A002000u, Pattern(512, 5)), "");
  ASSERT_EQ(isp_.Command("W 268435456 900"), "0");
  // Appended rather than joined with operator+, on which GCC 12 at -O3 reports a false
  // out-of-bounds copy inside the temporary std::string (-Warray-bounds).
  std::string lines;
  for (int i = 0; i < 20; ++i) lines.append("M").append(60, '`').append("\r\n");
  host_.Write(lines.append("0\r\nJ\r\n"));
  EXPECT_EQ(host_.ReadFor(300), "") << "nothing answers any more";
  // Power comes back: the boot ROM reads the same flash.
  ASSERT_TRUE(switch_.Restart({})) << switch_.Error();
  ConnectIsp();
  std::vector<uint8_t> cells;
  ASSERT_TRUE(isp_.ReadMemory(0x1A002000u, 512, &cells));
  EXPECT_EQ(cells, Pattern(512, 5));
}

TEST_F(VirtualSwitchFaults, PowerLossAfterACopyComesBeforeItsStatus) {
  Start({"--erase", "--fault-silence-after-copy", "1"});
  ConnectIsp();
  ASSERT_EQ(isp_.Command("U 23130"), "0");
  ASSERT_EQ(isp_.Erase(1, 1), "");
  ASSERT_EQ(isp_.WriteRam(0x10000000u, Pattern(512, 2)), "");
  ASSERT_EQ(isp_.Command("P 1 1 0"), "0");
  host_.Write("C 436215808 268435456 512\r\n");
  EXPECT_EQ(host_.ReadFor(300), "") << "no status at all";
  switch_.Kill();
  std::vector<uint8_t> flash = switch_.ReadFlash();
  ASSERT_EQ(flash.size(), 1024u * 1024u);
  EXPECT_EQ(std::vector<uint8_t>(flash.begin() + 0x2000, flash.begin() + 0x2200), Pattern(512, 2));
}

TEST_F(VirtualSwitchFaults, NoiseComesAheadOfEveryLine) {
  auto options = Installed();
  options.insert(options.end(), {"--no-progress", "--noise", "4"});
  Start(options);
  OpenHost(19200);
  EXPECT_EQ(Printable(host_.ReadFor(200)), "");  // what is left of the power-up noise
  host_.Write("\x1B^P$*\r");
  std::string reply = host_.ReadUntil("$", 2000);
  EXPECT_EQ(reply.size(), 7u);
  EXPECT_EQ(Printable(reply), "^+$");
}

TEST_F(VirtualSwitchFaults, SlowStatusArrivesLate) {
  Start({"--erase", "--fault-slow-ms", "600"});
  ConnectIsp();
  host_.Write("J\r\n");
  EXPECT_EQ(host_.ReadFor(250), "");
  EXPECT_EQ(isp_.NextLine(), "0");
}

size_t LogCount(const std::vector<std::string>& lines, const std::string& part) {
  return static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(part) != std::string::npos;
  }));
}

TEST_F(VirtualSwitchFaults, AFloodStreamsEmptyLinesFromItsPlaceOnWithoutEnd) {
  const std::string kProbe = "\x1B^P$*\r";
  struct Case {
    const char* where;
    std::vector<std::string> options;
    std::function<void()> reachIt;  // leads the switch to the flood's place
  } cases[] = {
      {"probe", Concat(Installed(), {"--no-progress"}),
       [&] {
         OpenHost(19200);
         host_.Write(kProbe);
       }},
      {"identity", Concat(Installed(), {"--no-progress"}),
       [&] {
         OpenHost(19200);
         host_.Write(kProbe);
         EXPECT_EQ(host_.ReadUntil("$", 2000), "^+$");  // the probe is answered as usual
         host_.Write("^V$");
       }},
      {"read", Concat(Installed(), {"--isp-pin"}),
       [&] {
         ConnectIsp();
         EXPECT_EQ(isp_.Command("R 436731392 512"), "0");  // the status comes, the data not
       }},
      {"sync",
       {"--erase"},
       [&] {
         OpenHost(115200);
         host_.Write("?");
         EXPECT_EQ(host_.ReadUntil("Synchronized\r\n", 2000), "Synchronized\r\n");
         host_.Write("Synchronized\r\n");
         EXPECT_NE(host_.ReadUntil("OK\r\n", 2000).find("OK"), std::string::npos);
         host_.Write("12000\r\n");
         EXPECT_NE(host_.ReadUntil("OK\r\n", 2000).find("OK"), std::string::npos);
       }},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.where);
    Start(Concat(c.options, {"--flood", c.where}));
    c.reachIt();
    // More than the switch keeps queued at a time: it is topped up as the host reads.
    std::string stream = host_.ReadFor(300);
    EXPECT_GT(stream.size(), 8192u);
    EXPECT_EQ(Printable(stream), "");
    EXPECT_EQ(stream.substr(0, 4), "\r\n\r\n");
    EXPECT_FALSE(host_.ReadFor(100).empty()) << "the stream goes on";
    if (std::string(c.where) == "sync") {
      // The boot ROM goes on serving commands between the empty lines.
      host_.Write("J\r\n");
      EXPECT_NE(host_.ReadUntil("2684471344\r\n", 5000).find("2684471344"), std::string::npos);
    }
    if (std::string(c.where) == "probe") {
      // At another rate the stream arrives garbled, as every byte of the switch does; the
      // log stays small all the same.
      host_.SetBaud(115200);
      std::string garbled = host_.ReadFor(300);
      EXPECT_NE(std::find_if(garbled.begin(), garbled.end(), [](char b) { return b & 0x80; }),
                garbled.end());
    }
    std::vector<std::string> log = switch_.LogLines();
    EXPECT_EQ(LogCount(log, std::string("fault flood ") + c.where), 1u);
    EXPECT_EQ(LogCount(log, "garbled-out"), 0u);
    EXPECT_LT(log.size(), 40u);
    host_.Close();
    switch_.Stop();
  }
}

TEST_F(VirtualSwitchFaults, AFloodWithARateKeepsRoughlyToIt) {
  Start(Concat(Installed(), {"--no-progress", "--flood", "probe:1000"}));
  OpenHost(19200);
  host_.Write("\x1B^P$*\r");
  std::string stream = host_.ReadFor(1000);
  // About a thousand bytes: far from nothing, and far from what the line could carry.
  EXPECT_GT(stream.size(), 200u);
  EXPECT_LT(stream.size(), 5000u);
  EXPECT_EQ(Printable(stream), "");
}

TEST_F(VirtualSwitchFaults, BadOptionsAreRefusedAtStart) {
  for (std::vector<std::string> bad : {std::vector<std::string>{"--fault-refuse", "p"},
                                       {"--fault-refuse", "P:0"},
                                       {"--fault-resend", "twice"},
                                       {"--interrupt", "0:power"},
                                       {"--interrupt", "5:pull"},
                                       {"--table", "torn"},
                                       {"--flood", "boot"},
                                       {"--flood", "read:0"},
                                       {"--flood", "read:fast"},
                                       {"--probe-status", "0"}}) {
    switch_.SetOptions(bad);
    EXPECT_FALSE(switch_.Start()) << bad[0] << " " << bad[1];
  }
}

}  // namespace
