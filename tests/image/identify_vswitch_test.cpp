// Identifying a virtual switch: from its firmware's identity reply, and from the
// parameter table in its flash when it sits in its boot ROM.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "image/firmware_image.h"
#include "image/identify.h"
#include "image/image_table.h"
#include "isp/boot_entry.h"
#include "isp/device_mode.h"
#include "isp/switch_fixture.h"
#include "link/scripted/scripted_console.h"

namespace {

struct Detected {
  DetectResult result;
  DeviceMode mode;
  DeviceInfo info;
  std::string shown;
};

class Identify : public UtilityOnASwitch {
 protected:
  Detected Detect(std::vector<std::string> options) {
    Start(std::move(options));
    ScriptedConsoleReset();
    Detected d{};
    d.result = DetectDevice();
    d.shown = ScriptedPrinted();
    d.mode = deviceMode;
    d.info = deviceInfo;
    return d;
  }
  // An older firmware of the carried product, held in the boot ROM by its ISP pin.
  std::vector<std::string> InBootRom(std::vector<std::string> extra = {}) {
    PackOptions options;
    options.version = 0x02320000;  // 2.50
    return Concat(Concat(Installed(options), {"--isp-pin"}), extra);
  }
};

// Bank A as an update of the carried image leaves it when it stops after its last
// firmware block: the payload in place but its first 512 bytes and the table erased.
// lastByteDelta changes the payload's last byte.
void WriteInterruptedFlash(const std::string& path, uint8_t lastByteDelta = 0) {
  FirmwareImage carried{imageTable[0], nullptr, nullptr, nullptr, imageTableSizes[0]};
  ScriptedConsoleReset();
  ASSERT_EQ(ValidateImage("", &carried), ImageCheck::Valid);
  ScriptedPrinted();
  const ImageHeader& h = *carried.header;
  std::vector<uint8_t> flash(2 * 0x80000, 0xFF);
  std::copy(carried.firmware + 512, carried.firmware + h.firmwareLength, flash.begin() + 512);
  flash[h.firmwareLength - 1] = static_cast<uint8_t>(flash[h.firmwareLength - 1] + lastByteDelta);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(flash.data()),
             static_cast<std::streamsize>(flash.size()));
}

const char kNotIdentifiable[] =
    "The switch is in its boot loader, but its flash holds no parameter table that this "
    "utility recognises: it cannot be identified.\n";

}  // namespace

TEST_F(Identify, AReplyThatIsNoIdentityFailsIdentification) {
  // A double quote inside the name leaves characters the reply's grammar cannot take.
  Detected d = Detect(Concat(Installed(), {"--identity-name", "KLM\"8800T"}));
  EXPECT_EQ(d.result, DetectResult::NotIdentified);
  EXPECT_EQ(d.mode, RunningFirmware);
}

TEST_F(Identify, TableVariantsSetModeAndVersionAsTheyShould) {
  struct Case {
    std::vector<std::string> options;
    DetectResult result;
    DeviceMode mode;
    uint32_t version;
    const char* shown;
  } cases[] = {
      {{"--table", "old"}, DetectResult::Identified, BootLoader, 0x02320000, ""},
      {{"--table", "blank"}, DetectResult::Unidentifiable, BlankBootLoader, 0, kNotIdentifiable},
      {{"--table", "bad-crc"},
       DetectResult::Identified,
       BootLoader,
       0x02320000,
       "\nParameter table has a bad CRC!\n"},
      {{"--table", "check-crc"}, DetectResult::Identified, BootLoader, 0, ""},
      {{"--table-check-length", "4097"}, DetectResult::Identified, BootLoader, 0, ""},
      {{"--table-check-length", "0"}, DetectResult::NotIdentified, NoDevice, 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.options[0] + " " + c.options[1]);
    Detected d = Detect(InBootRom(c.options));
    EXPECT_EQ(d.result, c.result);
    EXPECT_EQ(d.mode, c.mode);
    if (c.mode == BootLoader) {
      EXPECT_EQ(d.info.version, c.version);
    }
    EXPECT_EQ(d.shown, c.shown);
    switch_.Stop();
    CloseLink();
  }
}

TEST_F(Identify, AnUpdateOfTheCarriedImageThatStoppedBeforeItsTableIsRecognised) {
  WriteInterruptedFlash(switch_.FlashPath());
  Detected d = Detect({});
  EXPECT_EQ(d.result, DetectResult::Identified);
  EXPECT_EQ(d.mode, BootLoader);
  EXPECT_EQ(d.info.family, 'V');
  EXPECT_EQ(d.info.modelIndex, 3);
  EXPECT_EQ(d.info.version, 0u);
  EXPECT_STREQ(d.info.displayName, "KLM8800T");
  EXPECT_EQ(d.shown,
            "The switch was left in its boot loader by an interrupted update of this firmware.\n");
}

TEST_F(Identify, FlashThatDiffersFromTheCarriedImageStaysUnidentified) {
  WriteInterruptedFlash(switch_.FlashPath(), 1);
  Detected d = Detect({});
  EXPECT_EQ(d.result, DetectResult::Unidentifiable);
  EXPECT_EQ(d.mode, BlankBootLoader);
  EXPECT_EQ(d.shown, kNotIdentifiable);
}

TEST_F(Identify, ACheckRegionOf4096BytesIsReadAndTested) {
  Detected d = Detect(InBootRom({"--table-check-length", "4096"}));
  EXPECT_EQ(d.result, DetectResult::Identified);
  EXPECT_EQ(d.mode, BootLoader);
  std::vector<std::string> reads = Logged("> 115200 isp R ");
  ASSERT_EQ(reads.size(), 6u);  // the table, then the region in chunks of 900
  EXPECT_EQ(reads[1], "> 115200 isp R 436207616 900");
  EXPECT_EQ(reads[4], "> 115200 isp R 436210316 900");
  EXPECT_EQ(reads[5], "> 115200 isp R 436211216 496");
}

TEST_F(Identify, StartFirmwareRefusesAnOldTableAndStartsACurrentOne) {
  Start(InBootRom({"--table", "old"}));
  ASSERT_EQ(EnterBootLoader(), BootEntryResult::Synchronised);
  EXPECT_EQ(StartFirmware(), TableResult::OldFormat);
  switch_.Stop();
  CloseLink();
  Start(InBootRom());
  ASSERT_EQ(EnterBootLoader(), BootEntryResult::Synchronised);
  EXPECT_EQ(StartFirmware(), TableResult::Ok);
  EXPECT_EQ(CountLogged("> 115200 isp G 436262832 T"), 1u);  // entry 0x1A00D7B1, Thumb bit clear
  // The firmware's events carry the rate it listens at.
  EXPECT_TRUE(switch_.WaitForLog("# 19200 fw start firmware", 3000));
}

TEST_F(Identify, AFailedReadOfTheFirstBlockIsNoEvidenceOfAnInterruptedUpdate) {
  // The flash holds an update that stopped before its table, but the boot ROM refuses
  // the read of the first block (the second R, after the table's): nothing shows that
  // block erased, so the switch cannot be identified.
  WriteInterruptedFlash(switch_.FlashPath());
  Detected d = Detect({"--fault-refuse", "R:2"});
  EXPECT_EQ(d.result, DetectResult::Unidentifiable);
  EXPECT_EQ(d.mode, BlankBootLoader);
  EXPECT_EQ(d.shown, kNotIdentifiable);
  EXPECT_EQ(CountLogged("> 115200 isp R 436207616 512"), 1u);  // the first block, refused
}
