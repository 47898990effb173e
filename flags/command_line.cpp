#include "flags/command_line.h"

#include "flags/text_chars.h"

std::string JoinArguments(int argc, const char* const* argv) {
  std::string text;
  for (int i = 0; i < argc && argv != nullptr && argv[i] != nullptr; ++i) {
    if (i != 0) text += ' ';
    const char* argument = argv[i];
    // An empty argument stays a word of its own.
    if (argument[0] == '\0') text += "\"\"";
    while (*argument != '\0') {
      if (!IsSpace(*argument) && *argument != '"') {
        text += *argument++;
        continue;
      }
      // A run of blanks and quote characters goes out as one piece. The parser pairs quote
      // characters from the left, so a quote that ends a quoted stretch, a doubled one and
      // a quote that opens the next stretch would read as two quote characters: the run
      // is therefore quoted as a whole, and its quote characters are doubled inside it.
      const char* end = argument;
      bool blanks = false;
      for (; IsSpace(*end) || *end == '"'; ++end) blanks = blanks || IsSpace(*end);
      if (blanks) text += '"';
      for (; argument != end; ++argument) {
        if (*argument == '"') text += '"';
        text += *argument;
      }
      if (blanks) text += '"';
    }
  }
  return text;
}
