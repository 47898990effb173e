// The programming sequence on the simulated line: what it refuses before a byte goes to
// the switch.
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image/image_table.h"
#include "isp/programming.h"
#include "link/scripted/scripted_console.h"
#include "link/scripted_fixture.h"

using ProgrammingScripted = OnAScriptedLine;

TEST_F(ProgrammingScripted, ImagesTheBlockSchemeCannotWriteAreRefusedBeforeAnythingIsSent) {
  // The carried image, its header changed. A payload of exactly one block can be written
  // (that block last); a table that is empty cannot: the table is what lets the utility
  // identify a switch left in its boot ROM, and what starts the new firmware. A table
  // goes in as whole blocks, so it starts on a block too.
  struct Case {
    void (*change)(ImageHeader*);
    const char* wrong;  // nullptr: the image fits
  } cases[] = {
      {[](ImageHeader* h) { h->firmwareLength = 512; }, nullptr},
      {[](ImageHeader* h) { h->firmwareLength = 511; }, "its payload is shorter than 512 bytes"},
      {[](ImageHeader* h) { h->tableLength = 1; }, nullptr},
      {[](ImageHeader* h) { h->tableLength = 0; }, "its parameter table is empty"},
      {[](ImageHeader* h) { h->tableAddress += 4; },
       "its parameter table does not start on a 512-byte boundary of flash"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wrong ? c.wrong : "fits");
    std::vector<uint8_t> bytes(imageTable[0], imageTable[0] + imageTableSizes[0]);
    FirmwareImage image{bytes.data(), nullptr, nullptr, nullptr, imageTableSizes[0]};
    ScriptedConsoleReset();
    ASSERT_EQ(ValidateImage("Firmware", &image), ImageCheck::Valid);
    ScriptedPrinted();
    c.change(reinterpret_cast<ImageHeader*>(bytes.data()));
    ScriptedConsoleReset();
    bool fits = ImageFitsBlockScheme("Firmware", &image);
    std::string shown = ScriptedPrinted();
    EXPECT_EQ(fits, c.wrong == nullptr);
    if (c.wrong == nullptr) {
      EXPECT_EQ(shown, "");
      continue;
    }
    const std::string message =
        std::string("\nError: The firmware \"Firmware\" cannot be programmed: ") + c.wrong + ".\n";
    EXPECT_EQ(shown, message);
    // The programming sequence refuses it too, before it sends anything.
    ScriptedConsoleReset();
    UpdateResult result = UpdateFirmware(&image);
    shown = ScriptedPrinted();
    EXPECT_EQ(result, UpdateResult::Failed);
    EXPECT_EQ(shown, message);
    EXPECT_TRUE(ScriptedWrites().empty());
  }
  EXPECT_EQ(ScriptedNow(), 0u);
}
