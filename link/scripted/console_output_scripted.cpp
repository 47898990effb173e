#include <string>

#include "link/console_output.h"
#include "link/scripted/scripted_console.h"

namespace {

std::string printed;

}  // namespace

void ConsoleWrite(const char* text, size_t length) { printed.append(text, length); }

std::string ScriptedPrinted() {
  std::string taken;
  taken.swap(printed);
  return taken;
}

void ScriptedConsoleReset() { printed.clear(); }
