// The version texts and the compatibility rules. (The Y/N decision itself, with keys
// through standard input, is in version_decision_stdin_test.cpp.)
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/version_decision.h"
#include "link/scripted/scripted_console.h"

TEST(VersionText, ShowsMajorMinorBetaLetterAndBeta) {
  struct Case {
    uint32_t version;
    const char* text;
    int width;
  } cases[] = {
      {0x023C0000, "2.60", 4},  {0x023C2005, "2.60.05b(Beta)", 14}, {0x02051000, "2.05a", 5},
      {0x0A010000, "10.01", 5}, {0x023C0005, "2.60.05(Beta)", 13},  {0, "None", 4},
      {1, "0.00.01(Beta)", 13}, {0x00001000, "0.00a", 5},           {0x09630000, "9.99", 4},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(VersionText(c.version), c.text);
    EXPECT_EQ(VersionTextWidth(c.version), c.width) << c.text;
  }
}

TEST(CheckCompatibility, ComparesCatalogueFamilyAndModelInThatOrder) {
  ImageHeader header{};
  header.family = 'V';
  header.modelIndex = 3;
  FirmwareImage image{};
  image.header = &header;
  DeviceInfo device{};
  device.family = 'V';
  device.modelIndex = 3;
  EXPECT_EQ(CheckCompatibility(&device, &image), Compatibility::Compatible);
  device.modelIndex = 2;
  EXPECT_EQ(CheckCompatibility(&device, &image), Compatibility::OtherModel);
  device.family = 'Z';
  EXPECT_EQ(CheckCompatibility(&device, &image), Compatibility::OtherFamily);
  header.modelIndex = 6;  // not in the catalogue: checked first
  EXPECT_EQ(CheckCompatibility(&device, &image), Compatibility::UnknownImage);
}

TEST(ReportIncompatibility, SaysWhyThenWhereTheRightFirmwareIs) {
  ImageHeader header{};
  strcpy(header.productName, "KLM8800T");
  FirmwareImage image{};
  image.header = &header;
  DeviceInfo device{};
  device.modelIndex = 2;
  device.displayName = "KLM4412T";
  const std::string website =
      "\nPlease check the Halvek website for the proper firmware for your product,\n"
      "or for a more recent version of this program: https://www.halvek.example/support\n\n";
  struct Case {
    Compatibility code;
    std::string shown;
  } cases[] = {
      {Compatibility::UnknownImage,
       "\nThe firmware file given is for a product not recognize by this program.\n"},
      {Compatibility::OtherFamily,
       "\nAttempting to update device: \"KLM4412T\".\nNew firmware is for device:  "
       "\"KLM8800T\".\n\nIncompatible firmware, device not updated.\n"},
      {Compatibility::OtherModel,
       "\nUnsupported PCB Revision: Rev 2.\n"
       "This firmware won't work on this version of the KLM4412T,\ndevice not updated.\n"},
  };
  for (const Case& c : cases) {
    ScriptedConsoleReset();
    ReportIncompatibility(c.code, &device, &image);
    EXPECT_EQ(ScriptedPrinted(), c.shown + website) << static_cast<int>(c.code);
  }
}
