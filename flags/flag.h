// Command-line flags in the "/" style: "/" followed by one or more flag names, each
// optionally preceded by a modifier ("-", "+" or "~") and followed by its value.
//
// An application declares its options as flag objects, lists pointers to them in a
// NULL-terminated table, and calls ParseCommandLine. The results stay in the flag objects
// (state, value, low and high); the first error stops the parse and stays in the
// FlagContext, where ReportFlagError turns it into one message on standard output. The
// error codes are in flags/flag_error.h.
#pragma once

#include <cstdint>
#include <string>

#include "flags/flag_error.h"

// t_Flag::state after the parser met the flag, from the modifier written before its name.
enum class FlagState : uint32_t {
  Minus = 0,  // "/-X"
  Plain = 1,  // "/X"
  Plus = 2,   // "/+X"
  Tilde = 3,  // "/~X"
};

// t_Flag::kind. Any kind other than a group is parsed by the flag's own Parse; the range
// flag takes Range, the first code that means neither a group nor a string, and flag
// classes of an application may take any other value.
enum class FlagKind : uint32_t {
  Group = 1,
  String = 2,
  Range = 3,
};

// The check a path flag makes of its value; any other value checks nothing.
enum class FlagPathKind : int32_t {
  Directory = 0,
  File = 1,
};

class t_Flag {
 public:
  // Reads the flag's value at cursor and moves cursor past it. Returns None, a code from 1
  // to 10, or an error class, which the parser moves on to the code for the flag's place.
  virtual FlagError Parse(const char*& cursor) = 0;
  // Not used by the parser; kept for flag classes that need a second operation.
  virtual uint32_t Reserved();
  virtual ~t_Flag();

  const char* name;        // as written after "/", matched without regard to case; not owned
  FlagState state;         // the modifier met with the flag; initialState when it did not occur
  FlagState initialState;  // never changed by the parser
  FlagKind kind;

  t_Flag(const t_Flag&) = delete;
  t_Flag& operator=(const t_Flag&) = delete;

 protected:
  t_Flag(const char* name, FlagState initialState, FlagKind kind);
};

// A flag whose name is followed by member flags: "/Gab" sets the members a and b of G.
// Groups nest one level: a group met inside a group only gets its state set.
class t_FlagGroup : public t_Flag {
 public:
  t_FlagGroup(const char* name, t_Flag** members, FlagState initialState);
  // Never called by the parser; a group has no value of its own.
  FlagError Parse(const char*& cursor) override;

  t_Flag** members;  // NULL-terminated; not owned
};

class t_FlagString;
using FlagValidator = FlagError (*)(t_FlagString* flag);

// A string-valued flag. The value follows the name, or the white space after it; it runs
// to white space or "/" outside quotes. A quote character toggles quoting and two in a row
// stand for one quote character.
class t_FlagString : public t_Flag {
 public:
  // Free text of minLength to maxLength characters, with an optional extra check.
  // maxLength grows to the default's length when that is longer.
  t_FlagString(const char* name, const char* defaultText, int32_t minLength, int32_t maxLength,
               FlagValidator validator, FlagState initialState);
  // One of a NULL-terminated list of values (not owned), matched without regard to case;
  // the value becomes the list's entry. defaultIndex 0 means no default, n the n-th entry.
  t_FlagString(const char* name, uint32_t defaultIndex, const char* const* choices,
               FlagState initialState);
  // Up to nine values given one by one; the list ends at the first null and never holds
  // more than nine (a tenth value is not taken). The flag keeps its own copy of the list.
  t_FlagString(const char* name, uint32_t defaultIndex, const char* choice1, const char* choice2,
               const char* choice3, const char* choice4, const char* choice5, const char* choice6,
               const char* choice7, const char* choice8, const char* choice9, const char* choice10,
               FlagState initialState);
  // A path, checked as pathKind says.
  t_FlagString(const char* name, const char* defaultText, int32_t minLength, int32_t maxLength,
               FlagPathKind pathKind, FlagState initialState);
  ~t_FlagString() override;

  FlagError Parse(const char*& cursor) override;

  uint32_t ownsChoices;
  const char* value;  // buffer, defaultValue or an entry of choices
  int32_t minLength;
  int32_t maxLength;
  const char* defaultValue;    // not owned; may be null
  const char* const* choices;  // NULL-terminated, or null
  FlagValidator validator;     // may be null
  char* buffer;                // owned: the characters read from the command line

 private:
  // OutOfMemory when the constructor could not allocate the choice list: the flag then
  // refuses every value rather than accept values outside the list.
  FlagError constructionError = FlagError::None;
};

// An unsigned 32-bit range: "N", "N-M", "-M" or "N-". A number is decimal, "0x"
// hexadecimal, "0" octal, or one character in single quotes ('A' is 65). The range is
// kept in order (low <= high); a missing end keeps its default.
class t_FlagULongR : public t_Flag {
 public:
  // The accepted bounds first, then the range taken when no number is given.
  t_FlagULongR(const char* name, uint32_t minimum, uint32_t maximum, uint32_t defaultLow,
               uint32_t defaultHigh, FlagState initialState);
  FlagError Parse(const char*& cursor) override;

  uint32_t low;
  uint32_t high;
  uint32_t minimum;
  uint32_t maximum;
  uint32_t defaultLow;
  uint32_t defaultHigh;
};

// The parse's error record. token is where the offending top-level item starts and flag
// the top-level flag matched last; memberToken and member are the same inside a group.
struct FlagContext {
  FlagError error = FlagError::None;
  const char* afterName = nullptr;
  const char* token = nullptr;
  t_Flag* flag = nullptr;
  const char* memberToken = nullptr;
  t_Flag* member = nullptr;
  t_Flag** table = nullptr;  // NULL-terminated, set by the application
};

// -1 when no parse runs, 0 while a top-level item is parsed, 1 inside a group.
extern int32_t flagNestingDepth;

// Parses the process's command line against context.table.
FlagError ParseCommandLine(FlagContext& context);
// Parses an argument text: the first word (the program name) is skipped, then every item
// that starts with "/" is parsed; other words are ignored.
FlagError ParseArguments(FlagContext& context, const char* text);
// Parses one "/" item (a run of flags) at cursor against table.
FlagError ParseFlagGroup(FlagContext& context, const char*& cursor, t_Flag** table);
// Reads one number at cursor into value: None, NoData when no number starts there, Syntax
// for a broken quoted character, BelowMinimum or AboveMaximum. value changes only on
// success.
FlagError ReadNumber(const char*& cursor, uint32_t& value, uint32_t minimum, uint32_t maximum);

// "\n", the message for context.error and ".\n": the text that ReportFlagError prints.
std::string FlagErrorText(const FlagContext& context);
// Prints FlagErrorText on standard output.
void ReportFlagError(const FlagContext& context);
// text upper-cased up to the first character in stop; "(Null Pointer)" for null. Print
// writes it on standard output.
std::string UpperUntilText(const char* text, const char* stop);
void PrintUpperUntil(const char* text, const char* stop);

// Validators of path flags: None, or BadFileName / BadDirectory.
FlagError ValidateFileName(t_FlagString* flag);
FlagError ValidateDirectory(t_FlagString* flag);
