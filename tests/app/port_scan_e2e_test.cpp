// Finding and judging switches end to end: the search over several ports, a port with
// nothing on it, and switches that this build must not update.
#include <gtest/gtest.h>

#include "app/update_fixture.h"

namespace {

const char kWebsite[] =
    "\nPlease check the Halvek website for the proper firmware for your product,\n"
    "or for a more recent version of this program: https://www.halvek.example/support\n\n";

PackOptions Model(uint32_t family, uint32_t model, const char* name) {
  PackOptions options;
  options.family = family;
  options.modelIndex = model;
  options.productName = name;
  options.version = 0x02320000;
  return options;
}

}  // namespace

// The search over COM1 to COM16, on both builds.
using Search = EndToEnd;
// Everything else about finding and judging switches, on the native build.
using SearchNative = EndToEnd;

TEST_P(Search, GoesThroughThePortsUntilAMatchingSwitchAnswers) {
  // COM1 is the silent one: Wine keeps COM1 for the host's first serial device when it has
  // one (a UART with nothing attached, just as silent).
  AddSilentPort(1);
  AddMissingPort(2);
  AddSwitch(Installed(Model('V', 2, "KLM4412T")), 3);
  AddSwitch(InstalledVersion(0x02320000), 4);
  AddSwitch(InstalledVersion(0x02320000), 5);  // never reached: the first match wins
  MirrorPortsIntoWine();
  Launch({});
  ASSERT_TRUE(Expect("(Y,N) ", 60000));
  session_->Type("n");
  EXPECT_EQ(PressKeyAndWait(), 1);
  std::string shown = Shown();
  EXPECT_EQ(shown.substr(0, shown.find("\n\nThis update")),
            std::string(kBanner) +
                "\nCOM1: No Halvek devices detected."
                "\nCOM2: Could not open port."
                "\nCOM3: A Halvek device was found, but it does not match this firmware."
                "\nCOM4: An KLM8800T was found with firmware version: 2.50\n");
  EXPECT_EQ(CountOf(switches_[2]->LogLines(), ">"), 0u);  // COM5 never heard from the host
}

TEST_P(SearchNative, ASwitchThisBuildMustNotUpdateIsToldWhyAndTheRunEnds) {
  struct Case {
    PackOptions model;
    int port;
    std::string why;
  } cases[] = {
      {Model('V', 2, "KLM4412T"), 3,
       "\nUnsupported PCB Revision: Rev 2.\n"
       "This firmware won't work on this version of the KLM4412T,\ndevice not updated.\n" +
           std::string(kWebsite)},
      {Model('Z', 3, "KLM4400S"), 4,
       "\nAttempting to update device: \"KLM4400S\".\nNew firmware is for device:  \"KLM8800T\".\n"
       "\nIncompatible firmware, device not updated.\n" +
           std::string(kWebsite)},
      {Model('V', 9, "KLM9999X"), 5,
       "\nThe device on COM5 not compatible with this update.\nProduct name: \"KLM9999X\"\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model.productName);
    VirtualSwitchProcess& sw = AddSwitch(Installed(c.model), c.port);
    std::string port = PortOf(sw);
    Launch({port});
    EXPECT_EQ(PressKeyAndWait(), 1);
    EXPECT_EQ(Shown(), std::string(kBanner) + "\nCOM" + port +
                           ": A Halvek device was found, but it does not match this firmware.\n" +
                           c.why + "\nPress any key to exit...\n");
    EXPECT_EQ(CountOf(sw.LogLines(), "> 19200 fw ^BOOTL$"), 0u);
  }
}

TEST_P(SearchNative, ABootRomWithABlankTableIsNeverOfferedAnUpdate) {
  VirtualSwitchProcess& sw = AddSwitch({"--erase"});
  std::string port = PortOf(sw);
  Launch({port});
  ASSERT_TRUE(Expect("does not match this firmware.\n"));
  // The loop keeps identifying the switch, pass after pass, and never asks.
  for (int pass = 0; pass < 3; ++pass) {
    ASSERT_TRUE(sw.WaitForLog("> 115200 isp R 436731392 512", 20000));
    size_t reads = CountOf(sw.LogLines(), "> 115200 isp R 436731392 512");
    for (int i = 0; i < 200 && CountOf(sw.LogLines(), "> 115200 isp R 436731392 512") == reads;
         ++i) {
      usleep(50000);
    }
  }
  EXPECT_GE(CountOf(sw.LogLines(), "> 115200 isp R 436731392 512"), 3u);
  session_->WaitFor("(Y,N)", 100);  // take in whatever it printed meanwhile
  // Said once, then the passes stay silent.
  EXPECT_EQ(Shown(), std::string(kBanner) + "\nCOM" + port +
                         ": The switch is in its boot loader, but its flash holds no parameter "
                         "table that this utility recognises: it cannot be identified.\n"
                         "A Halvek device was found, but it does not match this firmware.\n");
  session_->Kill();  // the technician's Ctrl-C
}

INSTANTIATE_TEST_SUITE_P(Builds, Search, testing::Values(Build::kNative, Build::kWindows),
                         BuildName);
INSTANTIATE_TEST_SUITE_P(Builds, SearchNative, testing::Values(Build::kNative), BuildName);
