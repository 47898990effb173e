#include <conio.h>

#include "link/console_keys.h"

// The Windows console hands _getch single keys without echo in any mode, but it sets up
// its input side on first use: under Wine on a terminal that is when the terminal leaves
// line mode. Asking once at start-up does that before any prompt is shown, so that a key
// typed at the first prompt reaches _getch instead of the terminal's line editor.
void PrepareConsoleKeys() { _kbhit(); }

int KeyWaiting() { return _kbhit(); }

int ReadKey() { return _getch(); }
