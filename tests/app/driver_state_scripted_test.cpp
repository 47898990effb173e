// The driver's start state and its one way out, on the simulated line: ResetProgram puts
// back the very state the program starts with, whatever a run left behind, and
// ExitProgram gives the port back, takes one whole key and ends the process with its
// status. The exit runs in a child process (native build only), which shows what it
// printed on standard error.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "app/driver_state.h"
#include "app/port_scan.h"
#include "image/device_info.h"
#include "isp/device_mode.h"
#include "link/console_keys.h"
#include "link/scripted_fixture.h"
#include "monitor/console_monitor.h"

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
#define TQUPD_EXIT_TESTS 1
#endif

namespace {

// What a run changes, as the program holds it.
struct ProgramState {
  int32_t portNumber;
  int32_t firstPort;
  int32_t lastPort;
  bool singlePortGiven;
  bool imageMatchedSwitch;
  const uint8_t* image;
  const ImageHeader* header;
  uint32_t imageLength;
  uint16_t family;
  uint16_t modelIndex;
  uint32_t version;
  std::string productName;
  bool nameShown;
  DeviceMode mode;
  bool linkOpen;
  uint32_t baudRate;
  int deviceReady;
  uint32_t lastProgressTime;

  static ProgramState Now() {
    return {::portNumber,
            ::firstPort,
            ::lastPort,
            ::singlePortGiven,
            ::imageMatchedSwitch,
            selectedImage.image,
            selectedImage.header,
            selectedImage.imageLength,
            deviceInfo.family,
            deviceInfo.modelIndex,
            deviceInfo.version,
            deviceInfo.productName,
            deviceInfo.displayName != nullptr,
            deviceMode,
            linkPort.IsOpen(),
            linkBaudRate,
            ::deviceReady,
            ::lastProgressTime};
  }
};

// The program's state is constant-initialised: here, before any test has run, it is the
// state the program starts with.
const ProgramState kAtStart = ProgramState::Now();

void ExpectSameState(const ProgramState& a, const ProgramState& b) {
  EXPECT_EQ(a.portNumber, b.portNumber);
  EXPECT_EQ(a.firstPort, b.firstPort);
  EXPECT_EQ(a.lastPort, b.lastPort);
  EXPECT_EQ(a.singlePortGiven, b.singlePortGiven);
  EXPECT_EQ(a.imageMatchedSwitch, b.imageMatchedSwitch);
  EXPECT_EQ(a.image, b.image);
  EXPECT_EQ(a.header, b.header);
  EXPECT_EQ(a.imageLength, b.imageLength);
  EXPECT_EQ(a.family, b.family);
  EXPECT_EQ(a.modelIndex, b.modelIndex);
  EXPECT_EQ(a.version, b.version);
  EXPECT_EQ(a.productName, b.productName);
  EXPECT_EQ(a.nameShown, b.nameShown);
  EXPECT_EQ(a.mode, b.mode);
  EXPECT_EQ(a.linkOpen, b.linkOpen);
  EXPECT_EQ(a.baudRate, b.baudRate);
  EXPECT_EQ(a.deviceReady, b.deviceReady);
  EXPECT_EQ(a.lastProgressTime, b.lastProgressTime);
}

void Feed(std::string_view bytes) {
  for (char c : bytes) FeedConsoleByte(static_cast<uint8_t>(c));
}

class DriverStateScripted : public OnAScriptedLine {
 protected:
  DriverStateScripted() : OnAScriptedLine(false) {}  // the scan opens the port itself
};

}  // namespace

TEST_F(DriverStateScripted, ResetProgramPutsBackTheStateTheProgramStartsWith) {
  // A run that found the carried product on a named port, then took in the switch's
  // console: ready, a progress line, and half a line.
  ScriptedRespond([](std::string_view written) {
    if (ScriptedBaudRates().back() != 19200) return;
    if (written == "*") ScriptedDeliver("^+$", 11);
    if (written == "^V$") ScriptedDeliver("^=V \"KLM8800T\" 2.50,86,3,1$");
  });
  firstPort = lastPort = 3;
  singlePortGiven = true;
  RunPortScan();
  ASSERT_EQ(ScriptedPrinted(), "\nCOM3: An KLM8800T was found with firmware version: 2.50\n");
  ScriptedAdvance(500);
  Feed("^=P$^!100 1 0$^=V half");
  ScriptedPrinted();
  ASSERT_TRUE(imageMatchedSwitch);
  ASSERT_EQ(deviceReady, 1);

  ResetProgram();
  ExpectSameState(ProgramState::Now(), kAtStart);
  // The console monitor starts a new line: text before the first "^" is a line too.
  Feed("!7 stray$");
  EXPECT_EQ(ScriptedPrinted(), "!7 stray$");
}

#ifdef TQUPD_EXIT_TESTS
TEST_F(DriverStateScripted, ExitProgramGivesThePortBackAndTakesOneWholeKey) {
  // The prompt may wait for hours: the port is given back before it, for the next program
  // that needs it. An arrow key (two codes) answers it as one key; the key after it is
  // left for whatever reads the console next.
  ASSERT_EQ(OpenLink(3), 1);
  ScriptedKeys("\xE0Hz");
  EXPECT_EXIT(
      {
        std::atexit([] {
          std::fprintf(stderr, "port %s, next key %c", linkPort.IsOpen() ? "open" : "closed",
                       ReadKey());
        });
        ShowPrintedOnExit();
        ExitProgram(1);
      },
      testing::ExitedWithCode(1), "^\nPress any key to exit\\.\\.\\.\nport closed, next key z$");
}
#endif
