// Fault recovery, end to end: a switch that fails in the middle of programming (a
// compare difference, a refused command, a resent chunk, power lost at several points)
// must never be reported as updated, and once power-cycled, a second run must leave
// exactly the carried image in its flash. Every case prints its row of the fault matrix.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <ostream>

#include "app/update_fixture.h"

namespace {

struct FaultCase {
  const char* testName;              // the case in the test's name
  const char* name;                  // the case in the fault matrix
  std::vector<std::string> options;  // given to the switch for the first run only
  const char* firstRunError;         // what the first run must report
  bool powerLoss;                    // the switch goes silent: the first run ends
  bool erased = true;                // the firmware's sectors were erased before the fault
  bool tableLost = false;            // the switch is left without a parameter table
};

// Test listings show the case by its row's name.
void PrintTo(const FaultCase& c, std::ostream* out) { *out << c.name; }

const char kLost1[] = "\n\nError 1: Lost the connection to the switch! Check cables and power.\n";
const char kLost4[] = "\n\nError 4: Lost the connection to the switch! Check cables and power.\n";

// W data before the parameter table: 35 blocks of 4096, one of 512 and one filled-up
// block (the payload after its first 512 bytes) make 144,384 bytes; the table is the
// next 512, the first 512 bytes of the payload the 512 after that.
const FaultCase kCases[] = {
    {"CompareDifference",
     "compare difference",
     {"--fault-compare", "0x1A004000"},
     "\n\nError: A mismatch occurred while verifying this update.\n",
     false},
    {"RefusedPrepare", "refused prepare", {"--fault-refuse", "P:1"}, kLost4, false, false},
    {"ResentChunk", "resent chunk", {"--fault-resend", "once"}, kLost1, false},
    {"PowerLossEarly", "power loss early", {"--fault-silence-after-w-bytes", "1000"}, kLost1, true},
    {"PowerLossMidFirmware",
     "power loss mid-firmware",
     {"--fault-silence-after-w-bytes", "70000"},
     kLost1,
     true},
    {"PowerLossAtTheTablesCopy",
     "power loss at the table's copy",
     {"--fault-silence-after-copy", "38"},
     kLost4,
     true},
    {"PowerLossBeforeTheFirstBlock",
     "power loss before the first 512 bytes",
     {"--fault-silence-after-w-bytes", "144900"},
     kLost1,
     true},
    // Between the erase of the table's sector and the copy of the new table the switch
    // holds no parameter table at all; it is recognised by the firmware it holds.
    {"PowerLossWhileTheTableIsStaged",
     "power loss while the table is staged",
     {"--fault-silence-after-w-bytes", "144500"},
     kLost1,
     true,
     true,
     true},
};

bool AllErased(const std::vector<uint8_t>& flash, size_t from, size_t count) {
  if (flash.size() < from + count) return false;
  for (size_t i = from; i < from + count; ++i) {
    if (flash[i] != 0xFF) return false;
  }
  return true;
}

// The test run gathers the rows of all cases in the file that TQUPD_FAULT_MATRIX names.
// Cases run side by side in separate processes: each appends its row in one write.
void AppendToMatrixFile(const std::string& row) {
  const char* path = getenv("TQUPD_FAULT_MATRIX");
  if (!path || !*path) return;
  std::string line = row + "\n";
  int fd = open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  ASSERT_GE(fd, 0) << "cannot open " << path;
  ssize_t written = write(fd, line.data(), line.size());
  close(fd);
  EXPECT_EQ(written, static_cast<ssize_t>(line.size())) << path;
}

// The native build only: the Windows build shows its recovery in Recovery below.
class FaultRecovery : public EndToEndRun, public testing::WithParamInterface<FaultCase> {
 protected:
  Build build() const override { return Build::kNative; }
};

}  // namespace

TEST_P(FaultRecovery, Recovers) {
  const FaultCase& c = GetParam();
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
    ASSERT_TRUE(Expect("\nCOM" + port +
                       ": The switch was left in its boot loader by an "
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
  snprintf(row, sizeof row, "fault matrix | %-8s | %-38s | %-18s | %s",
           build() == Build::kNative ? "native" : "windows", c.name, outcome.c_str(),
           second.c_str());
  std::cout << row << std::endl;
  AppendToMatrixFile(row);
}

INSTANTIATE_TEST_SUITE_P(Native, FaultRecovery, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<FaultCase>& info) {
                           return std::string(info.param.testName);
                         });

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

INSTANTIATE_TEST_SUITE_P(Builds, Recovery, testing::Values(Build::kNative, Build::kWindows),
                         BuildName);
