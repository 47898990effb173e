#include "monitor/console_monitor.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "format/parse_number.h"
#include "link/link_io.h"

int deviceReady = 0;
uint32_t lastProgressTime = 0;

namespace {

constexpr int kLineBuffer = 256;
// Positions 0 to 253 keep the first 254 characters of a line; later characters, and
// the closing "$", land on position 254, so "$" and NUL always fit.
constexpr int kLastKept = 253;

char consoleLine[kLineBuffer];
int32_t consoleLineLength = 0;

// "!": a message line. Code 100 is DSP progress; anything else is shown as it came.
void MessageLine() {
  const char* p = consoleLine + 1;
  const char* end = nullptr;
  int32_t code = ParseSigned32(p, &end, 10);
  if (code != 100) {
    PrintString(consoleLine);
    return;
  }
  p = end;
  if (*p != '\0') ++p;  // the separator
  int32_t bank = ParseSigned32(p, &end, 10);
  p = end;
  if (*p != '\0') ++p;
  int32_t step = ParseSigned32(p, &end, 10);
  // Steps 0 to 5 of a bank give 16, 33, 50, 66, 83 and 100 percent. The step comes from
  // the line and is clamped (doc/differences.md).
  step = std::clamp(step, -1, 1000000);
  int32_t percent = (step + 1) * 100 / 6;
  if (step == 0) PrintString("\n");  // every bank starts on a line of its own
  PrintFormatted("\rUpdating DSPs: Bank = %u, Complete = %3u%%", bank, percent);
  lastProgressTime = ClockMs();
}

void SwitchReady() { deviceReady = 1; }

struct ConsoleKeyword {
  const char* keyword;  // length byte, then the characters
  void (*handler)();
};

const ConsoleKeyword keywordTable[] = {
    {"\x03=SZ", nullptr}, {"\x01!", MessageLine}, {"\x02=P", SwitchReady},
    {"\x02=V", nullptr},  {nullptr, nullptr},
};

}  // namespace

void ResetConsoleMonitor() {
  deviceReady = 0;
  lastProgressTime = 0;
  consoleLineLength = 0;
}

int DispatchConsoleLine(const char* line) {
  for (const ConsoleKeyword* entry = keywordTable; entry->keyword; ++entry) {
    size_t length = static_cast<unsigned char>(entry->keyword[0]);
    if (strncmp(line, entry->keyword + 1, length) != 0) continue;
    // The keyword must end where the line's word ends.
    char next = line[length];
    if ((next >= 'A' && next <= 'Z') || (next >= 'a' && next <= 'z')) continue;
    if (!entry->handler) continue;
    entry->handler();
    return 0;
  }
  return 1;
}

void FeedConsoleByte(uint8_t byte) {
  signed char c = static_cast<signed char>(byte);
  if (c <= 0x1F) return;  // control characters and every byte from 0x80 up
  if (c == '^') {
    consoleLineLength = 0;
    return;
  }
  if (c == '$') {
    consoleLine[consoleLineLength++] = '$';
    consoleLine[consoleLineLength] = '\0';
    DispatchConsoleLine(consoleLine);
    consoleLineLength = 0;
    return;
  }
  consoleLine[consoleLineLength] = c;
  if (consoleLineLength <= kLastKept) ++consoleLineLength;
}
