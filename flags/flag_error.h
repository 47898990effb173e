// The flag library's error codes, shared by the flag parser and the path parser.
//
// ReportFlagError turns each code into one message, and applications act on particular
// codes, so the numbers are part of the library's interface and never change. 0 is no
// error. Codes 1 to 10 are single messages of their own, for the path and environment
// services that share the reporter. From 11 on the codes come in classes of three: each
// class below is named by its base code c, which a flag reports as c, c + 1 or c + 2
// depending on where it stands (FlagPlace).
#pragma once

#include <cstdint>

enum class FlagError : uint32_t {
  None = 0,
  OutOfMemory = 1,
  PathSyntax = 2,  // also the path merge's answer for an invalid path
  DirectorySyntax = 3,
  NoSuchDrive = 4,
  DirectoryNotFound = 5,
  TooManyDirectories = 6,
  TooManyFileNames = 7,
  EnvironmentSyntax = 8,              // a directory listed in an environment variable
  VariableNotFound = 9,               // an environment variable
  EnvironmentDirectoryNotFound = 10,  // a warning
  // The classes.
  Unknown = 11,  // no flag of the table has this name
  Syntax = 14,   // a value that breaks the flag's syntax, such as a broken 'c' number
  NoData = 17,   // no number given: a range flag keeps its defaults
  BelowMinimum = 20,
  AboveMaximum = 23,
  TooShort = 26,
  TooLong = 29,
  BadFileName = 32,
  BadDirectory = 35,
  UnknownValue = 38,  // a value that is not in the flag's list of choices
};

// Where the flag that failed stands, which moves its class's base code on.
enum class FlagPlace : uint32_t {
  Letter = 0,  // a top-level flag with a one-character name: "/X"
  Name = 1,    // a top-level flag with a longer name ("/PORT"), or a member of a
               // one-character group, which reads as one name with it ("/Gm")
  Member = 2,  // a member of a group whose name is longer: "/GRPm"
};

// The code that errorClass (a base code from 11 on) takes for a flag at place.
constexpr FlagError FlagCode(FlagError errorClass, FlagPlace place) {
  return static_cast<FlagError>(static_cast<uint32_t>(errorClass) + static_cast<uint32_t>(place));
}
