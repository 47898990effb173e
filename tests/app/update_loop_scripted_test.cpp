// The wait after a successful programming, on the simulated line: the new firmware
// reloads its DSPs, reporting each step, and then reports ready. 13 s without a
// progress line end the wait with the power-cycle message; "=P" ends it at once.
#include <string>
#include <vector>

#include "app/update_loop.h"
#include "link/console_keys.h"
#include "link/scripted_fixture.h"

namespace {

const char kPowerCycle[] = "\nFirmware update complete, please power cycle the switch.\n";

using UpdateLoopScripted = OnAScriptedLine;

}  // namespace

TEST_F(UpdateLoopScripted, ProgressRenewsThe13SecondWaitAndReadyEndsItAtOnce) {
  // The loop looks once a millisecond: the wait ends at the first look after 13000 ms
  // have passed since the call or the last progress line, or at the first look after
  // the ready line was taken in.
  struct Arrival {
    const char* bytes;
    uint32_t atMs;  // from the call
  };
  struct Case {
    std::vector<Arrival> arrivals;
    bool ready;         // false: the wait ran out, and the power-cycle message follows
    uint32_t endsAtMs;  // from the call
    const char* shown;  // before the power-cycle message
  } cases[] = {
      {{}, false, 13001, ""},
      {{{"^!100 1 0$", 5000}}, false, 18001, "\n\rUpdating DSPs: Bank = 1, Complete =  16%"},
      {{{"^!100 1 0$", 5000}, {"^!100 1 1$", 12000}},
       false,
       25001,
       "\n\rUpdating DSPs: Bank = 1, Complete =  16%\rUpdating DSPs: Bank = 1, Complete =  33%"},
      // Other messages are shown but are no news of the DSPs.
      {{{"^!42 Fan fault$", 5000}}, false, 13001, "!42 Fan fault$"},
      {{{"^=P$", 7000}}, true, 7001, ""},
      {{{"^!100 1 0$", 5000}, {"^=P$", 17000}},
       true,
       17001,
       "\n\rUpdating DSPs: Bank = 1, Complete =  16%"},
      // The last moment a ready line is still taken, and the first it is too late.
      {{{"^=P$", 13000}}, true, 13001, ""},
      {{{"^=P$", 13001}}, false, 13001, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.arrivals.size() << " arrivals, ends at " << c.endsAtMs);
    ASSERT_NO_FATAL_FAILURE(Restart());
    ScriptedAdvance(40000);  // programming took its time
    for (const Arrival& a : c.arrivals) ScriptedDeliver(a.bytes, a.atMs);
    bool ready = AwaitSwitchReady();
    std::string shown = ScriptedPrinted();
    EXPECT_EQ(ready, c.ready);
    std::string expected = c.shown;
    if (!c.ready) expected += kPowerCycle;
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(ScriptedNow() - 40000, c.endsAtMs);
    EXPECT_TRUE(ScriptedWrites().empty());  // it only listens
  }
}

TEST_F(UpdateLoopScripted, KeysPressedWhileItWaitsAreDroppedOneALook) {
  // Each look drops one key, an extended key (0 or 0xE0 and its code, a function or arrow
  // key) as one. With ten looks before the ready frame none is left to answer "Press any key to
  // exit..." before the technician sees it; with two, the looks have not reached "b" yet.
  struct Case {
    std::string keys;
    uint32_t readyAtMs;
    int left;  // the key still waiting afterwards, or -1
  } cases[] = {
      {std::string("y\0;n", 4), 10, -1}, {std::string("a\0;b", 4), 2, 'b'}, {"a\xE0Hb", 2, 'b'}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "ready at " << c.readyAtMs);
    ASSERT_NO_FATAL_FAILURE(Restart());
    ScriptedKeys(c.keys);
    ScriptedDeliver("^=P$", c.readyAtMs);
    bool ready = AwaitSwitchReady();
    EXPECT_TRUE(ready);
    if (c.left != -1) {
      EXPECT_EQ(ReadKey(), c.left);
    }
    EXPECT_EQ(ReadKey(), -1);
  }
}
