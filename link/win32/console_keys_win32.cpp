#include <conio.h>

#include "link/console_keys.h"

// The Windows console hands _getch single keys without echo in any mode.
void PrepareConsoleKeys() {}

int KeyWaiting() { return _kbhit(); }

int ReadKey() { return _getch(); }
