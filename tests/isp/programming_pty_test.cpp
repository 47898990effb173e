// Images the block scheme cannot program are refused before a byte goes to the switch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image_pack.h"
#include "isp/programming.h"
#include "link/pty_port.h"
#include "link/serial_port.h"

namespace {

struct Packed {
  std::vector<uint8_t> bytes;
  FirmwareImage image{};
};

Packed Pack(uint32_t payloadBytes, uint32_t firmwareAddress) {
  PackOptions options;
  options.firmwareAddress = firmwareAddress;
  std::string error;
  Packed p;
  p.bytes = PackImage(SyntheticPayload(payloadBytes, kSyntheticEntry), options, &error);
  p.image.image = p.bytes.data();
  p.image.imageLength = static_cast<uint32_t>(p.bytes.size());
  testing::internal::CaptureStdout();
  EXPECT_EQ(ValidateImage("Firmware", &p.image), 0);
  testing::internal::GetCapturedStdout();
  return p;
}

}  // namespace

TEST(UpdateFirmware, RefusesImagesTheBlocksCannotCarryBeforeSendingAnything) {
  PtyPort pty;
  ASSERT_EQ(linkPort.Open(pty.portNumber(), 19200), 1);
  linkBaudRate = 19200;
  struct Case {
    uint32_t payloadBytes;  // without the CRC the packer appends
    uint32_t address;
  } cases[] = {{300, 0x1A000000}, {507, 0x1A000000}, {4096, 0x1A000100}};
  for (const Case& c : cases) {
    Packed p = Pack(c.payloadBytes, c.address);
    testing::internal::CaptureStdout();
    EXPECT_EQ(UpdateFirmware(&p.image), 1);
    std::string shown = testing::internal::GetCapturedStdout();
    EXPECT_EQ(shown.rfind("Error: The firmware image cannot be programmed", 0), 0u) << shown;
    EXPECT_EQ(pty.Received(50), "") << c.payloadBytes;
  }
}

TEST(UpdateFirmware, WithoutAnImageSaysSo) {
  FirmwareImage none{};
  testing::internal::CaptureStdout();
  EXPECT_EQ(UpdateFirmware(&none), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error: No firmware file available to download.\n");
}
