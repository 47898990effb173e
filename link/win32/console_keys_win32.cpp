// Console keys and the console itself on Windows.
#include <conio.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "calls_win32.h"
#include "link/console_keys.h"
#include "link/console_output.h"

namespace {

bool modeSaved = false;
DWORD savedMode = 0;

void RestoreConsoleMode() {
  // GetConsoleMode never reports ENABLE_EXTENDED_FLAGS, which QuickEdit and insert mode
  // are only set back with.
  if (modeSaved) {
    win32Calls.SetConsoleMode(win32Calls.GetStdHandle(STD_INPUT_HANDLE),
                              savedMode | ENABLE_EXTENDED_FLAGS);
  }
}

// Runs on a thread of its own when Ctrl-C or Ctrl-Break is pressed or the console window
// is closed. Returning FALSE leaves the event to the next handler, in the end the
// system's, which ends the program as it always has; before that, the console is put
// back, and an update cut off half way says so.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT || event == CTRL_CLOSE_EVENT) {
    if (ProgrammingUnderway()) ConsoleWrite(kInterruptedLine, std::strlen(kInterruptedLine));
    RestoreConsoleMode();
  }
  return FALSE;
}

}  // namespace

// The Windows console hands _getch single keys without echo in any mode, but it sets up
// its input side on first use: under Wine on a terminal that is when the terminal leaves
// line mode. Asking once at start-up does that before any prompt is shown, so that a key
// typed at the first prompt reaches _getch instead of the terminal's line editor.
//
// QuickEdit, on by default, lets a click start a selection, and while one is open the
// console holds every line the program writes: the program stops, half way through an
// update, until the selection ends, and by then the boot ROM's replies have timed out. It
// is off while the program runs and put back at exit.
void PrepareConsoleKeys() {
  _kbhit();
  HANDLE input = win32Calls.GetStdHandle(STD_INPUT_HANDLE);
  DWORD mode = 0;
  if (!modeSaved && win32Calls.GetConsoleMode(input, &mode)) {
    savedMode = mode;
    modeSaved = true;
    atexit(RestoreConsoleMode);
    win32Calls.SetConsoleMode(input, (mode | ENABLE_EXTENDED_FLAGS) & ~ENABLE_QUICK_EDIT_MODE);
  }
  win32Calls.SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
}

int KeyWaiting() { return _kbhit(); }

int ReadKey() { return _getch(); }
