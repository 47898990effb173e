// Only the one call is needed: the header that declares it, not all of <windows.h>.
#include <processenv.h>

#include "flags/command_line.h"

const char* ProcessCommandLine() {
  const char* text = GetCommandLineA();
  return text != nullptr ? text : "";
}

// Windows keeps the text the user typed, quotes included; argv is derived from it and
// would only lose them.
void SetProcessArguments(int, const char* const*) {}
