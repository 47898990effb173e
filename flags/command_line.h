// The process's command line as one text, for the flag parser.
//
// The parser reads the line as the user typed it: the program name, then the arguments
// with their quotes. Windows keeps that text (GetCommandLineA). POSIX hands a program its
// arguments already split by the shell and without quotes, so the POSIX build rebuilds an
// equivalent text from argv, which main() passes in with SetProcessArguments. Taking argv
// from main() works on every POSIX system, where /proc/self/cmdline exists on Linux only,
// and lets tests give the parser a command line of their own.
#pragma once

#include <string>

// The command line: program name first. Empty on POSIX until SetProcessArguments.
const char* ProcessCommandLine();

// Records main()'s arguments as the command line (POSIX). On Windows the system's text is
// the original, and the call changes nothing.
void SetProcessArguments(int argc, const char* const* argv);

// One text that the flag parser reads back as argv: arguments separated by one space,
// white space inside an argument put in quotes, and each quote character doubled (the
// parser reads two quotes as one). Only the blanks are quoted, not the whole argument:
// the parser takes a quote before a "/" as part of a word, so a quoted "/Na b" would no
// longer start a flag.
std::string JoinArguments(int argc, const char* const* argv);
