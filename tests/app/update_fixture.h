// End-to-end runs of the real tqupd (native, or the Windows build under Wine) against
// virtual switches, with the console on a pseudo-terminal so that keys reach it.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "testing/arguments.h"
#include "testing/program_run.h"
#include "testing/pty_pair.h"
#include "testing/test_image.h"
#include "testing/vswitch_process.h"

// What every end-to-end test starts and cleans up: its switches, the ports the utility
// sees (a folder of links for the native build, dosdevices links for the Windows build)
// and the console session of tqupd. The build under test is build(); the tests run on
// each build as their parameter (EndToEnd) or, with a parameter of their own, on one.
class EndToEndRun : public testing::Test {
 public:
  // The image this build carries.
  static const std::vector<uint8_t>& CarriedImage();

 protected:
  void SetUp() override;
  void TearDown() override;
  virtual Build build() const = 0;

  // A switch on a port of its own; options go to vswitch. Returns its index.
  VirtualSwitchProcess& AddSwitch(std::vector<std::string> options, int portNumber = 3);
  // Options that install a test image (the carried product unless options say otherwise),
  // written into this test's folder (testing/test_image.h).
  std::vector<std::string> Installed(const PackOptions& options = {});
  std::vector<std::string> InstalledVersion(uint32_t version);

  // A port where nothing answers (a pseudo-terminal nobody reads), and a port whose
  // device does not exist.
  void AddSilentPort(int portNumber);
  void AddMissingPort(int portNumber);

  // The COM number the utility must be given for switch sw (the Windows build sees the
  // switch through a dosdevices link of its own).
  std::string PortOf(const VirtualSwitchProcess& sw);
  std::string PortOf(int portNumber);
  // Windows build: links COM1 to COM16 of its Wine prefix to this test's ports (the
  // previous links are put back at the end), so that a search of all ports sees them.
  void MirrorPortsIntoWine();
  // Starts tqupd with args in a console session, and waits until keys typed reach it.
  void Launch(const std::vector<std::string>& args);
  // Waits for text in the console (after from); fails the test with the output if it
  // does not come.
  bool Expect(const std::string& text, int timeoutMs = 30000, size_t from = 0);
  // Answers the final "Press any key to exit..." and returns the exit status.
  int PressKeyAndWait();
  std::string Shown() const { return session_ ? session_->Output() : std::string(); }

  // True when the switch's flash holds the carried image's payload and table exactly.
  static bool FlashHoldsCarriedImage(const std::vector<uint8_t>& flash) {
    return FlashHoldsImage(flash, CarriedImage());
  }

  std::vector<std::unique_ptr<VirtualSwitchProcess>> switches_;
  std::unique_ptr<ConsoleSession> session_;

 private:
  std::string portsFolder_;             // native build: TQUPD_PORTS
  std::vector<std::string> wineLinks_;  // Windows build: dosdevices links made for this test
  std::vector<std::pair<std::string, std::string>> wineSaved_;  // links replaced, to restore
  std::vector<std::unique_ptr<PtyPair>> silentPorts_;
  int searchLock_ = -1;
};

// Tests that run on each build given as their parameter (native, Windows under Wine).
class EndToEnd : public EndToEndRun, public testing::WithParamInterface<Build> {
 protected:
  Build build() const override { return GetParam(); }
};

std::string BuildName(const testing::TestParamInfo<Build>& info);

// The console text that an update of the carried image prints from its 0% line to its
// final 100% line.
std::string ProgressLines();

// The console lines of the virtual switch's DSP reload (banks of 6 steps).
std::string DspLines(int banks);

// What follows the found line when a switch with firmware 2.50 of the carried product is
// updated and Y answers: the newer-version prompt, the progress, both DSP banks and the
// key prompt.
std::string OlderSwitchUpdatedText();

extern const char kBanner[];

inline size_t CountOf(const std::vector<std::string>& lines, const std::string& prefix) {
  size_t n = 0;
  for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
  return n;
}
