// Fuzzes the flag parser and its messages with arbitrary command lines.
//
// The input is the argument text after a program name. A table with every kind of flag
// (free text, choices, paths, ranges, a huge maximum length, one- and more-character
// groups) parses it, the error is reported, and the nesting depth must be back at -1.
// The input also goes through JoinArguments as one argument of a text flag, which must
// read back exactly that argument when it holds no "/" (a "/" starts the next flag, as it
// does on a typed command line). Messages go to the null device.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "flags/command_line.h"
#include "flags/flag.h"

namespace {

void Check(bool holds) {
  if (!holds) std::abort();
}

const char* const kSpeeds[] = {"SLOW", "FAST", "AUTO", nullptr};

void ParseWithEveryKindOfFlag(const std::string& arguments) {
  const FlagState initial = FlagState::Minus;
  t_FlagString n("N", "dflt", 1, 6, nullptr, initial);
  t_FlagString m("M", 3, kSpeeds, initial);
  t_FlagString c("C", 2, "ONE", "TWO", "THREE", nullptr, nullptr, nullptr, nullptr, nullptr,
                 nullptr, nullptr, initial);
  t_FlagString file("FILE", nullptr, 0, 40, FlagPathKind::File, initial);
  t_FlagString dir("DIR", "c:\\", 0, 40, FlagPathKind::Directory, initial);
  t_FlagString huge("H", nullptr, 0, INT32_MAX, nullptr, initial);
  t_FlagULongR port("PORT", 0, 0xFFFFFFFFu, 0, 0xFFFFFFFFu, initial);
  t_FlagULongR v("V", 5, 1000, 10, 100, initial);
  t_FlagULongR w("w", 0, 9, 0, 9, initial);
  t_FlagString s("s", nullptr, 2, 3, nullptr, initial);
  t_FlagString e("e", nullptr, 0, 8, FlagPathKind::Directory, initial);
  t_FlagGroup inner("i", nullptr, initial);
  t_Flag* members[] = {&w, &s, &e, &inner, nullptr};
  t_FlagGroup grp("GRP", members, initial);
  t_FlagGroup g("G", members, initial);
  t_Flag* table[] = {&port, &n, &m, &c, &file, &dir, &huge, &v, &grp, &g, nullptr};

  FlagContext context;
  context.table = table;
  std::string line = "tqupd " + arguments;
  FlagError error = ParseArguments(context, line.c_str());
  Check(flagNestingDepth == -1);
  Check(error == context.error);
  ReportFlagError(context);
  // Parsed again, every string flag frees the value of the first parse.
  ParseArguments(context, line.c_str());
  Check(flagNestingDepth == -1);
  // A range is put in order once it has been read whole.
  if (error == FlagError::None) Check(v.low <= v.high && port.low <= port.high && w.low <= w.high);
}

void RoundTrip(const std::string& argument) {
  std::string item = "/X" + argument;
  const char* argv[] = {"prog", item.c_str()};
  t_FlagString x("X", nullptr, 0, 1 << 16, nullptr, FlagState::Minus);
  t_Flag* table[] = {&x, nullptr};
  FlagContext context;
  context.table = table;
  std::string line = JoinArguments(2, argv);
  FlagError error = ParseArguments(context, line.c_str());
  if (argument.find('/') == std::string::npos && argument.size() < (1u << 16)) {
    Check(error == FlagError::None);
    Check(argument == (x.value != nullptr ? x.value : ""));
  }
}

void ReadOneNumber(const std::string& text) {
  const char* cursor = text.c_str();
  uint32_t value = 7;
  FlagError error = ReadNumber(cursor, value, 3, 70000);
  Check(cursor >= text.c_str() && cursor <= text.c_str() + text.size());
  Check(error != FlagError::None || (value >= 3 && value <= 70000));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool quiet = std::freopen("/dev/null", "w", stdout) != nullptr;
  (void)quiet;
  // The command line is a C string: it ends at the first NUL.
  std::string arguments;
  for (size_t i = 0; i < size && data[i] != 0; ++i) arguments += static_cast<char>(data[i]);
  ParseWithEveryKindOfFlag(arguments);
  RoundTrip(arguments);
  ReadOneNumber(arguments);
  return 0;
}
