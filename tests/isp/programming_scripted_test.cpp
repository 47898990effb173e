// The programming sequence on the simulated line: what it refuses before a byte goes to
// the switch.
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image/image_table.h"
#include "isp/programming.h"
#include "link/scripted_fixture.h"

using ProgrammingScripted = OnAScriptedLine;

TEST_F(ProgrammingScripted, AnImageWithAnEmptyTableIsRefusedBeforeAnythingIsSent) {
  // The parameter table is what lets the utility identify a switch left in its boot ROM
  // and what starts the new firmware: an image without one could never be finished.
  std::vector<uint8_t> bytes(imageTable[0], imageTable[0] + imageTableSizes[0]);
  FirmwareImage image{bytes.data(), nullptr, nullptr, nullptr, imageTableSizes[0]};
  testing::internal::CaptureStdout();
  ASSERT_EQ(ValidateImage("Firmware", &image), ImageCheck::Valid);
  testing::internal::GetCapturedStdout();
  reinterpret_cast<ImageHeader*>(bytes.data())->tableLength = 0;

  testing::internal::CaptureStdout();
  EXPECT_FALSE(ImageFitsBlockScheme("Firmware", &image));
  EXPECT_EQ(UpdateFirmware(&image), UpdateResult::Failed);
  const std::string message =
      "\nError: The firmware \"Firmware\" cannot be programmed: its parameter table is empty.\n";
  EXPECT_EQ(testing::internal::GetCapturedStdout(), message + message);
  EXPECT_TRUE(ScriptedWrites().empty());
  EXPECT_EQ(ScriptedNow(), 0u);
}
