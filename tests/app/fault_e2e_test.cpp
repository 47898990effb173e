// Fault recovery, end to end: a switch that fails in the middle of programming (a
// compare difference, a refused command, a resent chunk, power lost at several points)
// must never be reported as updated, and once power-cycled, a second run must leave
// exactly the carried image in its flash. Every case prints its row of the fault matrix.
#include <gtest/gtest.h>

#include <cstdio>
#include <iostream>

#include "app/update_fixture.h"

namespace {

struct FaultCase {
  const char* name;
  std::vector<std::string> options;  // given to the switch for the first run only
  const char* firstRunError;         // what the first run must report
  bool powerLoss;                    // the switch goes silent: the first run ends
  bool erased = true;                // the firmware's sectors were erased before the fault
  bool tableLost = false;            // the switch is left without a parameter table
};

const char kLost1[] = "\n\nError 1: Lost the connection to the switch! Check cables and power.\n";
const char kLost4[] = "\n\nError 4: Lost the connection to the switch! Check cables and power.\n";

// W data before the parameter table: 35 blocks of 4096, one of 512 and one filled-up
// block (the payload after its first 512 bytes) make 144,384 bytes; the table is the
// next 512, the first 512 bytes of the payload the 512 after that.
const FaultCase kCases[] = {
    {"compare difference", {"--fault-compare", "0x1A004000"},
     "\n\nError: A mismatch occurred while verifying this update.\n", false},
    {"refused prepare", {"--fault-refuse", "P:1"}, kLost4, false, false},
    {"resent chunk", {"--fault-resend", "once"}, kLost1, false},
    {"power loss early", {"--fault-silence-after-w-bytes", "1000"}, kLost1, true},
    {"power loss mid-firmware", {"--fault-silence-after-w-bytes", "70000"}, kLost1, true},
    {"power loss at the table's copy", {"--fault-silence-after-copy", "38"}, kLost4, true},
    {"power loss before the first 512 bytes", {"--fault-silence-after-w-bytes", "144900"}, kLost1,
     true},
    // Between the erase of the table's sector and the copy of the new table the switch
    // holds no parameter table at all; it is recognised by the firmware it holds.
    {"power loss while the table is staged", {"--fault-silence-after-w-bytes", "144500"}, kLost1,
     true, true, true},
};

bool AllErased(const std::vector<uint8_t>& flash, size_t from, size_t count) {
  if (flash.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i) {
    if (flash[i] != 0xFF) return false;
  }
  return true;
}

class FaultRecovery : public EndToEnd {
 protected:
  void Run(const FaultCase& c);
};

void FaultRecovery::Run(const FaultCase& c) {
  VirtualSwitchProcess& sw = AddSwitch(Concat(InstalledVersion(0x02320000), c.options));
  std::string port = PortOf(sw);

  // First run: the fault strikes during programming.
  Launch({port});
  ASSERT_TRUE(Expect("Continue with update to newer version? (Y,N) "));
  session_->Type("y");
  ASSERT_TRUE(Expect(c.firstRunError, 60000));
  std::string outcome;
  if (c.powerLoss) {
    ASSERT_TRUE(Expect("\nNo Halvek device found on COM" + port + ".\n"));
    outcome = "error, switch gone";
  } else {
    // The next pass finds the switch in its boot ROM and asks again.
    size_t after = Shown().find(c.firstRunError);
    ASSERT_TRUE(Expect("(Y,N) ", 30000, after));
    session_->Type("n");
    outcome = "error, asked again";
  }
  EXPECT_EQ(PressKeyAndWait(), 1);
  std::string first = Shown();
  EXPECT_EQ(first.find("100% complete"), std::string::npos) << first;
  EXPECT_EQ(first.find("Updating DSPs"), std::string::npos) << first;
  std::vector<uint8_t> flash = sw.ReadFlash();
  EXPECT_FALSE(FlashHoldsCarriedImage(flash));
  // Whatever happened, the vector table stays erased: the chip will not run half a
  // firmware, and stays in its boot ROM for the next attempt.
  if (c.erased) {
    EXPECT_TRUE(AllErased(flash, 0, 512));
  }

  // Power cycle without the fault (and without installing anything), and run again.
  ASSERT_TRUE(sw.Restart(std::vector<std::string>{})) << sw.Error();
  Launch({port});
  if (c.tableLost) {
    ASSERT_TRUE(Expect("\nCOM" + port + ": The switch was left in its boot loader by an "
                       "interrupted update of this firmware.\nAn KLM8800T was found with "
                       "firmware version: None\n"));
  } else {
    ASSERT_TRUE(Expect("\nCOM" + port + ": An KLM8800T was found with firmware version: "));
  }
  ASSERT_TRUE(Expect("Continue with update to newer version? (Y,N) "));
  session_->Type("y");
  ASSERT_TRUE(Expect("\rUpdating firmware: 100% complete.\n", 60000));
  EXPECT_EQ(PressKeyAndWait(), 1);
  sw.Stop();
  EXPECT_TRUE(FlashHoldsCarriedImage(sw.ReadFlash()));
  std::string second = "updated, flash exact";
  char row[200];
  snprintf(row, sizeof row, "fault matrix | %-7s | %-38s | %-18s | %s",
           build() == Build::kNative ? "native" : "windows", c.name, outcome.c_str(),
           second.c_str());
  std::cout << row << std::endl;
  RecordProperty("fault_matrix", row);
}

}  // namespace

TEST_P(FaultRecovery, CompareDifference) { Run(kCases[0]); }
TEST_P(FaultRecovery, RefusedPrepare) { Run(kCases[1]); }
TEST_P(FaultRecovery, ResentChunk) { Run(kCases[2]); }
TEST_P(FaultRecovery, PowerLossEarly) { Run(kCases[3]); }
TEST_P(FaultRecovery, PowerLossMidFirmware) { Run(kCases[4]); }
TEST_P(FaultRecovery, PowerLossAtTheTablesCopy) { Run(kCases[5]); }
TEST_P(FaultRecovery, PowerLossBeforeTheFirstBlock) { Run(kCases[6]); }
TEST_P(FaultRecovery, PowerLossWhileTheTableIsStaged) { Run(kCases[7]); }

// A failed programming run is followed at once by a new pass that finds the switch in
// its boot ROM and asks again; answered yes, the same run completes the update. Both
// builds show it.
using Recovery = EndToEnd;

TEST_P(Recovery, TheSameRunCanRetryAfterAFailedBlock) {
  VirtualSwitchProcess& sw =
      AddSwitch(Concat(InstalledVersion(0x02320000), {"--fault-resend", "once"}));
  Launch({PortOf(sw)});
  ASSERT_TRUE(Expect("(Y,N) "));
  session_->Type("y");
  ASSERT_TRUE(Expect(kLost1, 60000));
  ASSERT_TRUE(Expect("\n Current Version: None, Model: KLM8800T", 30000, Shown().find(kLost1)));
  ASSERT_TRUE(Expect("(Y,N) ", 30000, Shown().find(kLost1)));
  session_->Type("y");
  ASSERT_TRUE(Expect("\rUpdating firmware: 100% complete.\n", 60000));
  EXPECT_EQ(PressKeyAndWait(), 1);
  sw.Stop();
  EXPECT_TRUE(FlashHoldsCarriedImage(sw.ReadFlash()));
}

INSTANTIATE_TEST_SUITE_P(Builds, FaultRecovery, testing::Values(Build::kNative), BuildName);
INSTANTIATE_TEST_SUITE_P(Builds, Recovery, testing::Values(Build::kNative, Build::kWindows),
                         BuildName);
