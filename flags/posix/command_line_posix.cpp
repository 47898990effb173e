#include <string>

#include "flags/command_line.h"

namespace {

std::string& CommandLineText() {
  static std::string text;
  return text;
}

}  // namespace

const char* ProcessCommandLine() { return CommandLineText().c_str(); }

void SetProcessArguments(int argc, const char* const* argv) {
  CommandLineText() = JoinArguments(argc, argv);
}
