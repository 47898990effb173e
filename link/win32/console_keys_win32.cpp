#include <conio.h>

#include "link/console_keys.h"

int KeyWaiting() { return _kbhit(); }

int ReadKey() { return _getch(); }
