// The programming sequence on the simulated line: what it refuses before a byte goes to
// the switch, and a whole update against a boot ROM that keeps a flash of its own.
#include <algorithm>
#include <string>
#include <vector>

#include "image/firmware_image.h"
#include "image/image_table.h"
#include "isp/programming.h"
#include "isp/scripted_boot_rom.h"
#include "link/console_keys.h"
#include "link/scripted/scripted_console.h"
#include "link/scripted_fixture.h"

using ProgrammingScripted = OnAScriptedLine;

namespace {

// The carried image, validated as the program does it, then its payload cut to length
// bytes: the blocks that programming writes follow from that length alone.
struct CutImage {
  explicit CutImage(uint32_t length)
      : bytes(imageTable[0], imageTable[0] + imageTableSizes[0]),
        image{bytes.data(), nullptr, nullptr, nullptr, imageTableSizes[0]},
        valid(ValidateImage("Firmware", &image) == ImageCheck::Valid) {
    header()->firmwareLength = length;
  }
  ImageHeader* header() { return reinterpret_cast<ImageHeader*>(bytes.data()); }

  std::vector<uint8_t> bytes;
  FirmwareImage image;
  bool valid;
};

}  // namespace

TEST_F(ProgrammingScripted, ImagesTheBlockSchemeCannotWriteAreRefusedBeforeAnythingIsSent) {
  // The carried image, its header changed. A payload of exactly one block can be written
  // (that block last); a table that is empty cannot: the table is what lets the utility
  // identify a switch left in its boot ROM, and what starts the new firmware. The switch
  // reads its table at one place only, so a table anywhere else cannot either.
  struct Case {
    void (*change)(ImageHeader*);
    const char* wrong;  // nullptr: the image fits
  } cases[] = {
      {[](ImageHeader* h) { h->firmwareLength = 512; }, nullptr},
      {[](ImageHeader* h) { h->firmwareLength = 511; }, "its payload is shorter than 512 bytes"},
      {[](ImageHeader* h) { h->tableLength = 1; }, nullptr},
      {[](ImageHeader* h) { h->tableLength = 0; }, "its parameter table is empty"},
      {[](ImageHeader* h) { h->tableAddress += 4; },
       "its parameter table is not at 0x1A07FE00, where the switch reads it"},
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

TEST_F(ProgrammingScripted, APayloadThatEndsOnABlockBoundaryGetsNoBlockOfFillAfterIt) {
  CutImage cut(512 + 4096 + 1024 + 512);
  ASSERT_TRUE(cut.valid);
  ScriptedBootRom rom;
  EXPECT_EQ(UpdateFirmware(&cut.image), UpdateResult::Updated);
  EXPECT_EQ(rom.copies,
            (std::vector<std::string>{"C 436208128 268435456 4096", "C 436212224 268435456 1024",
                                      "C 436213248 268435456 512", "C 436731392 268435456 512",
                                      "C 436207616 268435456 512"}));
}

TEST_F(ProgrammingScripted, APayloadOneByteIntoItsLastBlockGetsThatBlockFilledUp) {
  CutImage cut(512 + 1);
  ASSERT_TRUE(cut.valid);
  ScriptedBootRom rom;
  EXPECT_EQ(UpdateFirmware(&cut.image), UpdateResult::Updated);
  EXPECT_EQ(rom.copies,
            (std::vector<std::string>{"C 436208128 268435456 512", "C 436731392 268435456 512",
                                      "C 436207616 268435456 512"}));
  EXPECT_EQ(rom.flash[512], cut.image.firmware[512]);
  EXPECT_TRUE(std::all_of(rom.flash.begin() + 513, rom.flash.begin() + 1024,
                          [](uint8_t b) { return b == 0xFF; }));
}

TEST_F(ProgrammingScripted, AnUpdateWritesEachBlockSizeAndHandsOverTwoPausesAfterTheGo) {
  // The carried image cut to a payload of 512 + 4096 + 1024 + 512 + 100 bytes: after the
  // first block (set aside) one block of each size and a last one filled up with 0xFF.
  // The table follows, the first block goes last, and each copy has a count that the
  // boot ROM takes.
  CutImage cut(512 + 4096 + 1024 + 512 + 100);
  ASSERT_TRUE(cut.valid);
  const FirmwareImage& image = cut.image;
  const ImageHeader* header = cut.header();
  ScriptedBootRom rom;
  EXPECT_EQ(UpdateFirmware(&cut.image), UpdateResult::Updated);
  EXPECT_EQ(rom.copies,
            (std::vector<std::string>{"C 436208128 268435456 4096", "C 436212224 268435456 1024",
                                      "C 436213248 268435456 512", "C 436213760 268435456 512",
                                      "C 436731392 268435456 512", "C 436207616 268435456 512"}));
  const uint32_t length = header->firmwareLength;
  EXPECT_TRUE(std::equal(image.firmware, image.firmware + length, rom.flash.begin()));
  EXPECT_TRUE(std::all_of(rom.flash.begin() + length, rom.flash.begin() + 512 + 4096 + 1024 + 1024,
                          [](uint8_t b) { return b == 0xFF; }));
  EXPECT_TRUE(std::equal(image.parameterTable, image.parameterTable + header->tableLength,
                         rom.flash.begin() + (0x1A07FE00 - 0x1A000000)));
  // After the go the link is back at the firmware's rate, and the new firmware is given
  // two pauses of more than 100 ms (its start-up, then its console's) before the
  // program goes on to follow its console.
  ASSERT_NE(rom.goAtMs, 0u);
  EXPECT_EQ(ScriptedNow() - rom.goAtMs, 202u);
  EXPECT_FALSE(ProgrammingUnderway());
  EXPECT_EQ(linkBaudRate, 19200u);
  // The progress is shown after each block of 4096 bytes, of the whole payload's length.
  const std::string progress = "\nUpdating firmware:   0% complete."
                               "\rUpdating firmware:  73% complete."
                               "\rUpdating firmware: 100% complete.\n";
  EXPECT_EQ(ScriptedPrinted().substr(0, progress.size()), progress);
}

TEST_F(ProgrammingScripted, AnEraseTheBootRomRefusesEndsTheUpdateBeforeAnyBlockIsWritten) {
  // The prepare is taken, the erase refused: writing into sectors that were not erased
  // would leave the old firmware mixed with the new.
  CutImage cut(512 + 512);
  ASSERT_TRUE(cut.valid);
  ScriptedBootRom rom;
  rom.refused = 'E';
  EXPECT_EQ(UpdateFirmware(&cut.image), UpdateResult::Failed);
  EXPECT_TRUE(rom.copies.empty());
  EXPECT_NE(ScriptedPrinted().find("Error 4: Lost the connection to the switch!"),
            std::string::npos);
  // Over, the update is no longer underway: an interrupt now does not claim to cut it short.
  EXPECT_FALSE(ProgrammingUnderway());
}
