// A virtual switch on a line and the host's end of that line, for one test.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "isp_host.h"
#include "testing/host_port.h"
#include "testing/test_image.h"
#include "testing/vswitch_process.h"

class SwitchOnALine : public ::testing::Test {
 protected:
  // Writes an image into the switch's folder and returns the options that install it.
  std::vector<std::string> Installed(const PackOptions& options = {}) {
    std::vector<std::string> installed = ::Installed(switch_.Directory(), options);
    EXPECT_FALSE(installed.empty());
    return installed;
  }
  void Start(std::vector<std::string> options) {
    switch_.SetOptions(std::move(options));
    ASSERT_TRUE(switch_.Start()) << switch_.Error();
  }
  void OpenHost(uint32_t baud) { ASSERT_TRUE(host_.Open(switch_.LinkPath(), baud)); }
  // The firmware answers the utility's probe at 19200 baud with answer; "^BOOTL$" then
  // resets the chip into its boot ROM (what follows it at once arrives during the reset).
  void ResetFirmwareIntoBootRom(const std::string& answer = "^+$",
                                const std::string& duringReset = "") {
    OpenHost(19200);
    host_.Write("\x1B^P$*\r");
    ASSERT_EQ(host_.ReadUntil("$", 2000), answer);
    host_.Write("^BOOTL$" + duringReset);
    ASSERT_TRUE(switch_.WaitForLog("# 0 isp reset boot-rom"));
  }
  // A boot ROM that is synchronised at 115200 baud with echo off.
  void ConnectIsp() {
    OpenHost(115200);
    ASSERT_TRUE(isp_.Connect());
  }

  VirtualSwitchProcess switch_;
  HostPort host_;
  IspHost isp_{host_};
};

// Only the characters a line reader keeps (0x20 to 0x7E).
inline std::string Printable(const std::string& bytes) {
  std::string kept;
  for (char c : bytes) {
    if (c >= 0x20 && c < 0x7F) kept += c;
  }
  return kept;
}

inline std::vector<uint8_t> Pattern(size_t n, uint8_t start, uint8_t step = 1) {
  std::vector<uint8_t> bytes(n);
  for (size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(start + step * i);
  return bytes;
}
