// The version lines and the Y/N decision, with keys fed through standard input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "image/version_decision.h"
#include "link/posix/standard_input.h"
#include "link/scripted/scripted_console.h"

namespace {

struct Decision {
  bool result;
  std::string shown;
};

class VersionDecision : public testing::Test {
 protected:
  VersionDecision() {
    header.family = 'V';
    header.modelIndex = 3;
    header.version = 0x023C0000;
    strcpy(header.productName, "KLM8800T");
    image.header = &header;
    device.family = 'V';
    device.modelIndex = 3;
    strcpy(device.productName, "KLM8800T");
    device.displayName = device.productName;
  }
  Decision Decide(uint32_t current, const std::string& keys, bool ask = true) {
    device.version = current;
    Keys input(keys);
    ScriptedConsoleReset();
    bool result = DecideUpdate(&device, &image, ask, ask, ask);
    return {result, ScriptedPrinted()};
  }
  ImageHeader header{};
  FirmwareImage image{};
  DeviceInfo device{};
};

}  // namespace

TEST_F(VersionDecision, EqualVersionsAskAndNCancels) {
  Decision d = Decide(0x023C0000, "n");
  EXPECT_FALSE(d.result);
  EXPECT_EQ(d.shown, "\nThe firmware version inside the KLM8800T matches this update.\n"
                     "\n Current Version: 2.60, Model: KLM8800T"
                     "\n Update Version:  2.60, Model: KLM8800T"
                     "\n\nUpdate anyway? (Y,N) N\n\nUpdate canceled.\n\n");
}

TEST_F(VersionDecision, OnlyYAndNAnswerAndEitherCaseCounts) {
  Decision d = Decide(0x02320000, "x\r\n?y");
  EXPECT_TRUE(d.result);
  EXPECT_EQ(d.shown, "\n\nThis update is newer than the firmware inside the KLM8800T.\n"
                     "\n Current Version: 2.50, Model: KLM8800T"
                     "\n Update Version:  2.60, Model: KLM8800T"
                     "\n\nContinue with update to newer version? (Y,N) Y\n");
}

TEST_F(VersionDecision, ATwoCodeKeyIsOneKeyAndAnswersNothing) {
  // Shift+F6 (0, 'Y'), an arrow key (0xE0, 'N'), then N.
  Decision d = Decide(0x02320000, std::string("\0Y\xE0Nn", 5));
  EXPECT_FALSE(d.result);
  EXPECT_EQ(d.shown, "\n\nThis update is newer than the firmware inside the KLM8800T.\n"
                     "\n Current Version: 2.50, Model: KLM8800T"
                     "\n Update Version:  2.60, Model: KLM8800T"
                     "\n\nContinue with update to newer version? (Y,N) N\n\nUpdate canceled.\n\n");
}

TEST_F(VersionDecision, AnOlderUpdateIsCalledOlderEvenAgainstABeta) {
  Decision d = Decide(0x023C0005, "Y");
  EXPECT_TRUE(d.result);
  EXPECT_EQ(d.shown,
            "\n\nThis update is OLDER than the firmware inside the KLM8800T!\n"
            "\n Current Version: 2.60.05(Beta), Model: KLM8800T"
            "\n Update Version:  2.60,          Model: KLM8800T"
            "\n\nAre you sure you want to update with an OLDER version of firmware? (Y,N) Y\n");
}

TEST_F(VersionDecision, NoVersionInTheSwitchShowsNoneAndCountsAsOlder) {
  Decision d = Decide(0, "N");
  EXPECT_FALSE(d.result);
  EXPECT_NE(d.shown.find("This update is newer"), std::string::npos);
  EXPECT_NE(d.shown.find("\n Current Version: None, Model: KLM8800T"), std::string::npos);
}

TEST_F(VersionDecision, TheEndOfInputCancelsInsteadOfWaiting) {
  Decision d = Decide(0x02320000, "");
  EXPECT_FALSE(d.result);
  EXPECT_NE(d.shown.find("(Y,N) N\n\nUpdate canceled.\n\n"), std::string::npos);
}

TEST_F(VersionDecision, WithoutAskingEachCaseHasItsOwnAnswer) {
  EXPECT_FALSE(Decide(0x023C0000, "", false).result);
  EXPECT_TRUE(Decide(0x02320000, "", false).result);
  Decision older = Decide(0x02500000, "", false);
  EXPECT_FALSE(older.result);
  EXPECT_EQ(older.shown.substr(older.shown.size() - 2), "T\n");  // no prompt, a line break
}

TEST_F(VersionDecision, VersionLinesLineUpTheModelColumn) {
  device.version = 0x023C2005;  // 2.60.05b(Beta)
  ScriptedConsoleReset();
  ShowVersions(&device, &image);
  EXPECT_EQ(ScriptedPrinted(), "\n Current Version: 2.60.05b(Beta), Model: KLM8800T"
                               "\n Update Version:  2.60,           Model: KLM8800T");
  header.version = 0x0A010000;  // 10.01 against 2.60
  device.version = 0x023C0000;
  ScriptedConsoleReset();
  ShowVersions(&device, &image);
  EXPECT_EQ(ScriptedPrinted(), "\n Current Version: 2.60,  Model: KLM8800T"
                               "\n Update Version:  10.01, Model: KLM8800T");
}
