// A line that never falls quiet, end to end: a switch that streams empty lines, faster
// than the host takes them, from its firmware's probe or identity answer, from its boot
// ROM's answer to a read, or from the end of the boot ROM's synchronisation. Whatever
// it streams, each run ends by itself with the messages of a switch that could not be
// identified, and never offers an update. Both builds show it.
#include <gtest/gtest.h>

#include "app/update_fixture.h"

namespace {

struct FloodCase {
  const char* where;  // as --flood names it
  bool bootRom;       // the switch sits in its boot ROM (the ISP pin held)
  int port;
  // What the scan prints for the port: the table read's "Timeout" comes before it.
  const char* scanSays;
};

}  // namespace

class Flood : public EndToEnd {
 protected:
  void Run(const FloodCase& c);
};

void Flood::Run(const FloodCase& c) {
  SCOPED_TRACE(c.where);
  std::vector<std::string> options = InstalledVersion(0x02320000);
  if (c.bootRom) options.push_back("--isp-pin");
  VirtualSwitchProcess& sw = AddSwitch(Concat(options, {"--flood", c.where}), c.port);
  std::string port = PortOf(sw);
  Launch({port});
  // The scan finds nothing it can identify; the update loop, since the port was named,
  // looks once more, finds nothing either, and the run ends.
  EXPECT_TRUE(Expect("\nNo Halvek device found on COM" + port + ".\n", 60000));
  EXPECT_EQ(PressKeyAndWait(), 1);
  EXPECT_EQ(Shown(), std::string(kBanner) + "\nCOM" + port + ": " + c.scanSays + "\n" +
                         "\nNo Halvek device found on COM" + port + ".\n" +
                         "\nPress any key to exit...\n");
  EXPECT_EQ(Shown().find("(Y,N)"), std::string::npos);
  // The flood did strike: the run ended in spite of it, not for want of it.
  EXPECT_EQ(CountOf(sw.LogLines(), std::string("# 19200 fw fault flood ") + c.where) +
                CountOf(sw.LogLines(), std::string("# 115200 isp fault flood ") + c.where),
            1u);
}

TEST_P(Flood, FromTheFirmwaresAnswersToTheProbeOrTheIdentityRequest) {
  Run({"probe", false, 3, "No Halvek devices detected."});
  Run({"identity", false, 4, "No Halvek devices detected."});
}

TEST_P(Flood, FromTheBootRomsAnswerToAReadOrAfterItsSynchronisation) {
  Run({"read", true, 3, "Timeout\nNo Halvek devices detected."});
  Run({"sync", true, 4, "No Halvek devices detected."});
}

INSTANTIATE_TEST_SUITE_P(Builds, Flood, testing::Values(Build::kNative, Build::kWindows),
                         BuildName);
