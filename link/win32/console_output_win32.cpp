// The console's output on Windows (a console, or a file or pipe it was redirected to): standard
// output, flushed after every text.
#include <cstdio>

#include "link/console_output.h"

void ConsoleWrite(const char* text, size_t length) {
  if (length > 0) fwrite(text, 1, length, stdout);
  fflush(stdout);
}
