// The switch's running firmware as the utility meets it: a probe line at 19200 baud,
// the identity request, the DSP progress after a start, and the way into the boot ROM.
#include <gtest/gtest.h>

#include "switch_test_fixture.h"

namespace {

const char kProbeAt19200[] = "\x1B^P$*\r";
const char kProbeAt115200[] = "\x1B^P$?\r";

using VirtualSwitchFirmware = SwitchOnALine;

TEST_F(VirtualSwitchFirmware, AnswersTheProbeWithAckOrFiveCharacterStatus) {
  auto options = Installed();
  options.push_back("--no-progress");
  Start(options);
  OpenHost(19200);
  host_.Write(kProbeAt19200);
  EXPECT_EQ(host_.ReadUntil("$", 2000), "^+$");

  options.insert(options.end(), {"--probe-status", "00"});
  ASSERT_TRUE(switch_.Restart(options)) << switch_.Error();
  ASSERT_TRUE(host_.Open(switch_.LinkPath(), 19200));
  host_.Write(kProbeAt19200);
  EXPECT_EQ(host_.ReadUntil("$", 2000), "^=P00$");
}

TEST_F(VirtualSwitchFirmware, ProbeAtTheWrongRateGetsNothingUsable) {
  auto options = Installed();
  options.push_back("--no-progress");
  Start(options);
  OpenHost(115200);
  host_.Write(kProbeAt115200);
  std::string heard = host_.ReadFor(300);
  EXPECT_EQ(Printable(heard), "") << "the firmware listens at 19200 only";

  // The same port, now at the firmware's rate, gets its answer.
  ASSERT_TRUE(host_.SetBaud(19200));
  host_.Write(kProbeAt19200);
  EXPECT_EQ(host_.ReadUntil("$", 2000), "^+$");

  // A reply that leaves at 19200 while the host listens at 115200 is garbage.
  host_.Write("^V$");
  ASSERT_TRUE(host_.SetBaud(115200));  // before the switch reads: the request is lost too
  std::string late = host_.ReadFor(300);
  EXPECT_EQ(late.find("^=V"), std::string::npos);
}

TEST_F(VirtualSwitchFirmware, IdentityComesFromTheParameterTableInFlash) {
  PackOptions image;
  image.family = 'Z';
  image.modelIndex = 2;
  image.version = 0x02320000u;  // 2.50
  image.productName = "KLM220T";
  auto options = Installed(image);
  options.push_back("--no-progress");
  Start(options);
  OpenHost(19200);
  host_.Write("^V$");
  EXPECT_EQ(host_.ReadUntil("$", 2000), "^=V \"KLM220T\" 2.50,90,2,1$");
}

TEST_F(VirtualSwitchFirmware, IdentityOptionsOverrideTheTable) {
  const struct {
    std::vector<std::string> options;
    std::string reply;
  } cases[] = {
      {{"--identity-version", "2.60.05b", "--identity-name", "X1"},
       "^=V \"X1\" 2.60.05b(Beta),86,3,1$"},
      {{"--identity-family", "Z", "--identity-model", "7", "--identity-hex", "26"},
       "^=V \"KLM8800T\" 2.60,90,7,1A$"},
      {{"--identity-no-family"}, "^=V \"KLM8800T\" 2.60$"},
      {{"--identity-ack"}, "^+$^=V \"KLM8800T\" 2.60,86,3,1$"},
  };
  for (const auto& c : cases) {
    auto options = Installed();
    options.push_back("--no-progress");
    options.insert(options.end(), c.options.begin(), c.options.end());
    ASSERT_TRUE(switch_.Restart(options)) << switch_.Error();
    OpenHost(19200);
    host_.Write("^V$");
    EXPECT_EQ(host_.ReadUntil(c.reply, 2000), c.reply);
  }
}

TEST_F(VirtualSwitchFirmware, ReportsDspProgressForEachBankAndThenReady) {
  auto options = Installed();
  options.insert(options.end(), {"--dsp-banks", "3", "--dsp-step-ms", "1", "--boot-ms", "50"});
  Start(options);
  OpenHost(19200);
  std::string frames = host_.ReadUntil("^=P$", 5000);
  std::string expected;
  for (int bank = 1; bank <= 3; ++bank) {
    for (int step = 0; step <= 5; ++step) {
      expected += "^!100 " + std::to_string(bank) + " " + std::to_string(step) + "$";
    }
  }
  EXPECT_EQ(frames, expected + "^=P$");
}

TEST_F(VirtualSwitchFirmware, ProgressOptionsWithholdReadyOrEverything) {
  auto options = Installed();
  options.insert(options.end(), {"--dsp-step-ms", "1", "--boot-ms", "0", "--no-ready"});
  Start(options);
  OpenHost(19200);
  EXPECT_NE(host_.ReadUntil("^!100 2 5$", 3000).find("^!100 2 5$"), std::string::npos);
  EXPECT_EQ(host_.ReadFor(300), "") << "no ready after the last bank";

  options = Installed();
  options.insert(options.end(),
                 {"--dsp-banks", "1", "--dsp-step-ms", "1", "--boot-ms", "0", "--progress-forever"});
  ASSERT_TRUE(switch_.Restart(options)) << switch_.Error();
  OpenHost(19200);
  std::string twice = host_.ReadUntil("^!100 1 5$^!100 1 0$", 3000);
  EXPECT_NE(twice.find("^!100 1 5$^!100 1 0$"), std::string::npos) << "the banks come round again";
  EXPECT_EQ(twice.find("^=P$"), std::string::npos);

  options = Installed();
  options.insert(options.end(), {"--boot-ms", "0", "--no-progress"});
  ASSERT_TRUE(switch_.Restart(options)) << switch_.Error();
  OpenHost(19200);
  EXPECT_EQ(host_.ReadFor(300), "");
  host_.Write(kProbeAt19200);  // silent, not dead
  EXPECT_EQ(host_.ReadUntil("$", 2000), "^+$");
}

TEST_F(VirtualSwitchFirmware, BootlResetsIntoTheBootRom) {
  auto options = Installed();
  options.push_back("--no-progress");
  Start(options);
  OpenHost(19200);
  host_.Write("^BOOTL$");
  ASSERT_TRUE(switch_.WaitForLog("# 0 isp reset boot-rom"));
  ASSERT_TRUE(host_.SetBaud(115200));
  host_.Write("?");
  EXPECT_EQ(host_.ReadUntil("\r\n", 2000), "Synchronized\r\n");
}

}  // namespace
