// The whole update, end to end: the real tqupd against virtual switches, typed answers
// on a pseudo-terminal console, the exact console text, and the flash afterwards.
#include <gtest/gtest.h>

#include <algorithm>

#include "app/update_fixture.h"

namespace {

const uint32_t kOlder = 0x02320000;    // 2.50
const uint32_t kCarried = 0x023C0000;  // 2.60, what this build carries
const uint32_t kNewer = 0x02460000;    // 2.70

std::string FoundLine(const std::string& port, const char* version) {
  return "\nCOM" + port + ": An KLM8800T was found with firmware version: " + version + "\n";
}

// The command lines the host sent to the boot ROM, from the switch's wire log.
std::vector<std::string> IspCommands(const std::vector<std::string>& log) {
  std::vector<std::string> commands;
  const std::string prefix = "> 115200 isp ";
  for (const std::string& line : log) {
    if (line.rfind(prefix, 0) == 0) commands.push_back(line.substr(prefix.size()));
  }
  return commands;
}

std::string Command(const char* letter, uint32_t address, uint32_t count) {
  return std::string(letter) + " " + std::to_string(address) + " 268435456 " +
         std::to_string(count);
}

}  // namespace

// What each build must show for itself: the full update, byte for byte on the console, in
// flash and on the wire.
using Update = EndToEnd;
// The rest of the decisions and endings, on the native build.
using UpdateNative = EndToEnd;

TEST_P(Update, AnOlderSwitchIsUpdatedInTheCarriedOrderAndReportsReady) {
  VirtualSwitchProcess& sw = AddSwitch(InstalledVersion(kOlder));
  std::string port = PortOf(sw);
  Launch({port});
  ASSERT_TRUE(Expect("(Y,N) "));
  session_->Type("y");
  int status = PressKeyAndWait();
  EXPECT_EQ(status, 1);
  EXPECT_EQ(Shown(), std::string(kBanner) + FoundLine(port, "2.50") + OlderSwitchUpdatedText());
  sw.Stop();
  EXPECT_TRUE(FlashHoldsCarriedImage(sw.ReadFlash()));

  // On the wire: the blocks in the order that keeps the switch recoverable.
  std::vector<std::string> all = IspCommands(sw.LogLines());
  // From the unlock that starts programming to the go that ends it.
  auto start = std::find(all.begin(), all.end(), "U 23130");
  ASSERT_NE(start, all.end());
  std::vector<std::string> wire(start, all.end());

  // The firmware's sectors 0 to 9 of bank A are prepared and erased first.
  ASSERT_GE(wire.size(), 3u);
  EXPECT_EQ(wire[1], "P 0 9 0");
  EXPECT_EQ(wire[2], "E 0 9 0");
  // Then every block: staged in RAM, its sectors prepared, copied, compared.
  std::vector<std::pair<uint32_t, uint32_t>> blocks;
  for (uint32_t k = 0; k < 35; ++k) blocks.push_back({0x1A000200u + 4096u * k, 4096u});
  blocks.push_back({0x1A023200u, 512u});  // one block of 512
  blocks.push_back({0x1A023400u, 512u});  // the last 108 bytes, filled up with 0xFF
  blocks.push_back({0x1A07FE00u, 512u});  // the parameter table
  blocks.push_back({0x1A000000u, 512u});  // the first 512 bytes, last of all
  size_t at = 3;
  for (size_t b = 0; b < blocks.size(); ++b) {
    auto [address, count] = blocks[b];
    SCOPED_TRACE("block at " + std::to_string(address));
    if (b == 37) {  // the table's sector is erased just before the table goes in
      ASSERT_LT(at + 1, wire.size());
      EXPECT_EQ(wire[at++], "P 14 14 0");
      EXPECT_EQ(wire[at++], "E 14 14 0");
    }
    size_t writes = 0;
    while (at < wire.size() && wire[at][0] == 'W') {
      EXPECT_EQ(wire[at].rfind("W 26843", 0), 0u) << wire[at];  // RAM at 0x10000000 on
      ++writes, ++at;
    }
    EXPECT_EQ(writes, count == 4096 ? 5u : 1u);  // 900-byte chunks
    ASSERT_LT(at + 2, wire.size());
    EXPECT_EQ(wire[at++][0], 'P');
    EXPECT_EQ(wire[at++], Command("C", address, count));
    EXPECT_EQ(wire[at++], Command("M", address, count));
  }
  // Then the new table is read back and checked, and the firmware started.
  std::vector<std::string> tail(wire.begin() + static_cast<long>(at), wire.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"R 436731392 512", "R 436207616 512", "U 23130",
                                            "G 436262832 T"}));
}

TEST_P(UpdateNative, EqualVersionsAnsweredNoChangeNothing) {
  VirtualSwitchProcess& sw = AddSwitch(InstalledVersion(kCarried));
  std::string port = PortOf(sw);
  Launch({port});
  ASSERT_TRUE(Expect("Update anyway? (Y,N) "));
  session_->Type("x");  // ignored
  session_->Type("n");
  EXPECT_EQ(PressKeyAndWait(), 1);
  EXPECT_EQ(Shown(), std::string(kBanner) + FoundLine(port, "2.60") +
                         "\nThe firmware version inside the KLM8800T matches this update.\n"
                         "\n Current Version: 2.60, Model: KLM8800T"
                         "\n Update Version:  2.60, Model: KLM8800T"
                         "\n\nUpdate anyway? (Y,N) N\n\nUpdate canceled.\n\n"
                         "\nPress any key to exit...\n");
  EXPECT_EQ(CountOf(sw.LogLines(), "> 19200 fw ^BOOTL$"), 0u);
}

TEST_P(UpdateNative, ANewerSwitchIsCalledOlderUpdate) {
  VirtualSwitchProcess& sw = AddSwitch(InstalledVersion(kNewer));
  Launch({PortOf(sw)});
  ASSERT_TRUE(
      Expect("\n\nThis update is OLDER than the firmware inside the KLM8800T!\n"
             "\n Current Version: 2.70, Model: KLM8800T"
             "\n Update Version:  2.60, Model: KLM8800T"
             "\n\nAre you sure you want to update with an OLDER version of firmware? (Y,N) "));
  session_->Type("N");
  EXPECT_EQ(PressKeyAndWait(), 1);
}

INSTANTIATE_TEST_SUITE_P(Builds, Update, testing::Values(Build::kNative, Build::kWindows),
                         BuildName);
INSTANTIATE_TEST_SUITE_P(Builds, UpdateNative, testing::Values(Build::kNative), BuildName);
