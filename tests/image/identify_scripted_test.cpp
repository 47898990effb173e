// Identification on the simulated line.
#include "image/identify.h"
#include "link/scripted_fixture.h"

using IdentifyScripted = OnAScriptedLine;

TEST_F(IdentifyScripted, WithoutAnOpenLinkDetectionSaysSoAtOnce) {
  CloseLink();
  EXPECT_EQ(DetectDevice(), DetectResult::NoPort);
  EXPECT_TRUE(ScriptedWrites().empty());  // nothing was tried
  EXPECT_EQ(ScriptedWaits(), 0u);
  EXPECT_EQ(ScriptedNow(), 0u);
}
