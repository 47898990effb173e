#include "link/console_keys.h"

#include <atomic>

namespace {

// Read by the console's control handler (its own thread on Windows) and by a signal
// handler (POSIX): lock-free, so safe in both.
std::atomic<bool> programmingUnderway{false};

}  // namespace

const char kInterruptedLine[] = "\n\nThe update was interrupted. Run tqupd again to finish it.\n";

void SetProgrammingUnderway(bool underway) { programmingUnderway = underway; }
bool ProgrammingUnderway() { return programmingUnderway; }

int ReadWholeKey() {
  int key = ReadKey();
  if (key != 0 && key != 0xE0) return key;
  int code = ReadKey();
  return code < 0 ? -1 : (kExtendedKey | code);
}
