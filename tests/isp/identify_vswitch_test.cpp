// Identifying a virtual switch: from its firmware's identity reply, and from the
// parameter table in its flash when it sits in its boot ROM.
#include <gtest/gtest.h>

#include <string>

#include "image/identify.h"
#include "isp/boot_entry.h"
#include "switch_fixture.h"

namespace {

struct Detected {
  int result;
  DeviceMode mode;
  DeviceInfo info;
  std::string shown;
};

class Identify : public UtilityOnASwitch {
 protected:
  Detected Detect(std::vector<std::string> options) {
    Start(std::move(options));
    testing::internal::CaptureStdout();
    Detected d{};
    d.result = DetectDevice();
    d.shown = testing::internal::GetCapturedStdout();
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

}  // namespace

TEST_F(Identify, ARunningSwitchNamesItselfInItsIdentityReply) {
  PackOptions options;
  options.version = 0x02320000;
  Detected d = Detect(Installed(options));
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.mode, RunningFirmware);
  EXPECT_EQ(d.info.family, 'V');
  EXPECT_EQ(d.info.modelIndex, 3);
  EXPECT_EQ(d.info.version, 0x02320000u);
  EXPECT_STREQ(d.info.productName, "KLM8800T");
}

TEST_F(Identify, AnAcknowledgementBeforeTheReplyIsSkippedAndAnEmptyNameUsesTheCatalogue) {
  Detected d = Detect(Concat(Installed(), {"--identity-ack", "--identity-name", ""}));
  EXPECT_EQ(d.result, 0);
  EXPECT_STREQ(d.info.displayName, "KLM8800T");
}

TEST_F(Identify, AReplyThatIsNoIdentityFailsIdentification) {
  // A double quote inside the name leaves characters the reply's grammar cannot take.
  Detected d = Detect(Concat(Installed(), {"--identity-name", "KLM\"8800T"}));
  EXPECT_EQ(d.result, 7);
  EXPECT_EQ(d.mode, RunningFirmware);
}

TEST_F(Identify, ABootRomIsIdentifiedFromTheParameterTableInFlash) {
  Detected d = Detect(InBootRom());
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.mode, BootLoader);
  EXPECT_EQ(d.info.family, 'V');
  EXPECT_EQ(d.info.modelIndex, 3);
  EXPECT_EQ(d.info.identityByte1, 0x41);
  EXPECT_EQ(d.info.identityByte0, 0x01);
  EXPECT_EQ(d.info.version, 0x02320000u);
  EXPECT_STREQ(d.info.displayName, "KLM8800T");
  EXPECT_EQ(d.shown, "");
  EXPECT_EQ(CountLogged("> 115200 isp R 436731392 512"), 1u);
  EXPECT_EQ(CountLogged("> 115200 isp R 436207616 512"), 1u);  // the check region
}

TEST_F(Identify, TableVariantsSetModeAndVersionAsTheyShould) {
  struct Case {
    std::vector<std::string> options;
    int result;
    DeviceMode mode;
    uint32_t version;
    const char* shown;
  } cases[] = {
      {{"--table", "old"}, 0, BootLoader, 0x02320000, ""},
      {{"--table", "blank"}, 0, BlankBootLoader, 0, ""},
      {{"--table", "bad-crc"}, 0, BootLoader, 0x02320000, "\nParameter table has a bad CRC!\n"},
      {{"--table", "check-crc"}, 0, BootLoader, 0, ""},
      {{"--table-check-length", "4097"}, 0, BootLoader, 0, ""},
      {{"--table-check-length", "0"}, 7, NoDevice, 0, ""},
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
    linkPort.Close();
  }
}

TEST_F(Identify, ACheckRegionOf4096BytesIsReadAndTested) {
  Detected d = Detect(InBootRom({"--table-check-length", "4096"}));
  EXPECT_EQ(d.result, 0);
  EXPECT_EQ(d.mode, BootLoader);
  std::vector<std::string> reads = Logged("> 115200 isp R ");
  ASSERT_EQ(reads.size(), 6u);  // the table, then the region in chunks of 900
  EXPECT_EQ(reads[1], "> 115200 isp R 436207616 900");
  EXPECT_EQ(reads[4], "> 115200 isp R 436210316 900");
  EXPECT_EQ(reads[5], "> 115200 isp R 436211216 496");
}

TEST_F(Identify, StartFirmwareRefusesAnOldTableAndStartsACurrentOne) {
  Start(InBootRom({"--table", "old"}));
  ASSERT_EQ(EnterBootLoader(), 0);
  EXPECT_EQ(StartFirmware(), 6);
  switch_.Stop();
  linkPort.Close();
  Start(InBootRom());
  ASSERT_EQ(EnterBootLoader(), 0);
  EXPECT_EQ(StartFirmware(), 0);
  EXPECT_EQ(CountLogged("> 115200 isp G 436262832 T"), 1u);  // entry 0x1A00D7B1, Thumb bit clear
  EXPECT_TRUE(switch_.WaitForLog("# 115200 fw start firmware", 3000) ||
              switch_.WaitForLog("# 19200 fw start firmware", 3000));
}
