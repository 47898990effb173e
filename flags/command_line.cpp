#include "flags/command_line.h"

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

}  // namespace

std::string JoinArguments(int argc, const char* const* argv) {
  std::string text;
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
    if (i != 0) text += ' ';
    const char* argument = argv[i];
    // An empty argument stays a word of its own.
    if (argument[0] == '\0') text += "\"\"";
    while (*argument != '\0') {
      if (*argument == '"') {
        text += "\"\"";
        ++argument;
      } else if (IsSpace(*argument)) {
        text += '"';
        while (IsSpace(*argument)) text += *argument++;
        text += '"';
      } else {
        text += *argument++;
      }
    }
  }
  return text;
}
