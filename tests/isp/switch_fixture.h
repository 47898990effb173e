// The utility's own link (linkPort) opened on a virtual switch, for tests of the
// protocol layers against a switch that speaks the real protocols at real baud rates.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/driver_state.h"
#include "image/identify.h"
#include "link/scripted/scripted_console.h"
#include "link/serial_port.h"
#include "testing/arguments.h"
#include "testing/ports_folder.h"
#include "testing/test_image.h"
#include "testing/vswitch_process.h"

class UtilityOnASwitch : public testing::Test {
 protected:
  UtilityOnASwitch() { StartOver(); }
  ~UtilityOnASwitch() override { StartOver(); }
  // Options that install a test image (any version, family, model) at power-up.
  std::vector<std::string> Installed(const PackOptions& options = {}) {
    std::vector<std::string> installed = ::Installed(switch_.Directory(), options);
    EXPECT_FALSE(installed.empty());
    return installed;
  }
  // Powers the switch up with options and opens linkPort on it at 19200 baud, as the
  // port scan does.
  void Start(std::vector<std::string> options) {
    switch_.SetOptions(std::move(options));
    ASSERT_TRUE(switch_.Start()) << switch_.Error();
    names_.reset();  // the folder of the switch before it, if any, goes first
    names_ = std::make_unique<PortsFolder>(switch_.PortsDirectory());
    StartOver();
    ASSERT_EQ(OpenLink(switch_.PortNumber()), 1);
  }
  // Wire log lines that begin with prefix.
  std::vector<std::string> Logged(const std::string& prefix) const {
    std::vector<std::string> lines;
    for (const std::string& line : switch_.LogLines()) {
      if (line.rfind(prefix, 0) == 0) lines.push_back(line);
    }
    return lines;
  }
  size_t CountLogged(const std::string& prefix) const { return Logged(prefix).size(); }

  // The whole program back at its start (the link closed, nothing identified), nothing
  // printed yet.
  static void StartOver() {
    ResetProgram();
    ScriptedConsoleReset();
  }

  VirtualSwitchProcess switch_;
  std::unique_ptr<PortsFolder> names_;
};
