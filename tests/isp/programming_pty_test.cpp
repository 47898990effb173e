// Images the block scheme cannot program are refused before a byte goes to the switch.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image_pack.h"
#include "isp/programming.h"
#include "link/pty_port.h"
#include "link/scripted/scripted_console.h"
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
  ScriptedConsoleReset();
  EXPECT_EQ(ValidateImage("Firmware", &p.image), ImageCheck::Valid);
  ScriptedPrinted();
  return p;
}

}  // namespace

TEST(UpdateFirmware, RefusesImagesTheBlocksCannotCarryBeforeSendingAnything) {
  PtyPort pty;
  ASSERT_EQ(OpenLink(pty.portNumber()), 1);
  struct Case {
    uint32_t payloadBytes;  // without the CRC the packer appends
    uint32_t address;
    const char* wrong;
  } cases[] = {{300, 0x1A000000, "its payload is shorter than 512 bytes"},
               {507, 0x1A000000, "its payload is shorter than 512 bytes"},
               {4096, 0x1A000100, "its payload does not start on a 512-byte boundary of flash"}};
  for (const Case& c : cases) {
    Packed p = Pack(c.payloadBytes, c.address);
    ScriptedConsoleReset();
    EXPECT_FALSE(ImageFitsBlockScheme("Firmware", &p.image));
    EXPECT_EQ(UpdateFirmware(&p.image), UpdateResult::Failed);
    std::string message =
        std::string("\nError: The firmware \"Firmware\" cannot be programmed: ") + c.wrong + ".\n";
    EXPECT_EQ(ScriptedPrinted(), message + message);
    EXPECT_EQ(pty.Received(50), "") << c.payloadBytes;
  }
}

TEST(UpdateFirmware, WithoutAnImageSaysSo) {
  FirmwareImage none{};
  ScriptedConsoleReset();
  EXPECT_EQ(UpdateFirmware(&none), UpdateResult::Failed);
  EXPECT_EQ(ScriptedPrinted(), "Error: No firmware file available to download.\n");
}
