// The Windows console under the double: QuickEdit off while the program runs, and what
// Ctrl-C, Ctrl-Break and closing the window do.
#include <gtest/gtest.h>

#include <string>

#include "driver_double_win32.h"
#include "link/console_keys.h"
#include "link/scripted/scripted_console.h"

namespace dd = driver_double;

TEST(ConsoleDouble, QuickEditIsOffWhileTheProgramRunsAndAnUpdateCutOffSaysSo) {
  dd::Install();
  DWORD before = dd::ConsoleMode();
  ASSERT_NE(before & ENABLE_QUICK_EDIT_MODE, 0u);
  PrepareConsoleKeys();
  // Only QuickEdit changes: insert mode and the rest stay as the technician has them.
  EXPECT_EQ(dd::ConsoleMode(), before & ~static_cast<DWORD>(ENABLE_QUICK_EDIT_MODE));
  ASSERT_EQ(dd::ConsoleHandlers().size(), 1u);
  PHANDLER_ROUTINE handler = dd::ConsoleHandlers()[0];

  struct Case {
    DWORD event;
    bool programming;
    const char* shown;
  } cases[] = {
      {CTRL_C_EVENT, true, kInterruptedLine},
      {CTRL_BREAK_EVENT, true, kInterruptedLine},
      {CTRL_CLOSE_EVENT, true, kInterruptedLine},
      {CTRL_C_EVENT, false, ""},
      {CTRL_BREAK_EVENT, false, ""},
      {CTRL_CLOSE_EVENT, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "event " << c.event << ", programming " << c.programming);
    SetProgrammingUnderway(c.programming);
    ScriptedConsoleReset();
    BOOL handled = handler(c.event);
    std::string shown = ScriptedPrinted();
    // The system's handler still ends the program, as it always has.
    EXPECT_FALSE(handled);
    EXPECT_EQ(shown, c.shown);
    // The console is as the program found it, QuickEdit on.
    EXPECT_EQ(dd::ConsoleMode(), before);
  }
  SetProgrammingUnderway(false);
  EXPECT_EQ(std::string(kInterruptedLine),
            "\n\nThe update was interrupted. Run tqupd again to finish it.\n");
  dd::Uninstall();
}
