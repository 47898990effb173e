// Identification on the simulated line.
#include <string_view>

#include "image/identify.h"
#include "isp/device_mode.h"
#include "link/scripted_fixture.h"

using IdentifyScripted = OnAScriptedLine;

TEST_F(IdentifyScripted, WithoutAnOpenLinkDetectionSaysSoAtOnce) {
  CloseLink();
  EXPECT_EQ(DetectDevice(), DetectResult::NoPort);
  EXPECT_TRUE(ScriptedWrites().empty());  // nothing was tried
  EXPECT_EQ(ScriptedWaits(), 0u);
  EXPECT_EQ(ScriptedNow(), 0u);
}

TEST_F(IdentifyScripted, TheFirmwareIsAskedForItsIdentityWithOneWriteOfExactlyTheRequest) {
  // A firmware at 19200 that answers the probe line with "^+$" and "^V$" with its
  // identity. The request goes out as one Write of its three bytes: the firmware takes
  // a frame from "^" to "$", and anything after it would start the next frame.
  uint32_t askedAt = 0;
  ScriptedRespond([&](std::string_view written) {
    if (ScriptedBaudRates().back() != 19200) return;
    if (written == "*") ScriptedDeliver("^+$", 11);  // as the probe line's CR arrives
    if (written.find('V') != std::string_view::npos) {
      askedAt = ScriptedNow();
      ScriptedDeliver("^=V \"KLM8800T\" 2.60,86,3,1$");
    }
  });
  testing::internal::CaptureStdout();
  EXPECT_EQ(DetectDevice(), DetectResult::Identified);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(deviceMode, RunningFirmware);
  EXPECT_STREQ(deviceInfo.displayName, "KLM8800T");
  // Two probe lines of four pieces (the first at 115200, unanswered), then the request.
  ASSERT_EQ(ScriptedWrites().size(), 9u);
  EXPECT_EQ(ScriptedWrites()[8], "^V$");
  // The request follows the answer to the probe line (at 567 ms) after the settling pause.
  EXPECT_EQ(askedAt, 567u + 21u);
  ResetIdentification();
}

TEST_F(IdentifyScripted, ATableThatCannotBeReadIsNotJudged) {
  // Whatever the record held before, a refused read, or one that nothing answers within
  // a line's time, is a failed read, and the identity is left cleared.
  struct Case {
    const char* reply;
    uint32_t takesMs;
  } cases[] = {{"19\r\n", 0}, {"", 501}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reply);
    DeviceInfo info{};
    info.family = 'V';
    info.modelIndex = 3;
    info.version = 0x02320000;
    ScriptedDeliver(c.reply);
    uint32_t before = ScriptedNow();
    EXPECT_EQ(ReadParameterTable(&info), TableResult::ReadFailed);
    EXPECT_EQ(ScriptedNow() - before, c.takesMs);
    EXPECT_EQ(info.family, 0);
    EXPECT_EQ(info.modelIndex, 0);
    EXPECT_EQ(info.version, 0u);
  }
  ResetIdentification();
}
