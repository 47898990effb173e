// Command-line flags in the "/" style: "/" followed by one or more flag names, each
// optionally preceded by a modifier ("-", "+" or "~") and followed by its value.
//
// An application declares its options as flag objects, lists pointers to them in a
// NULL-terminated table, and calls ParseCommandLine. The results stay in the flag objects
// (state, value, low and high); the first error stops the parse and stays in the
// FlagContext, where ReportFlagError turns it into one message on standard output.
//
// Error codes come in classes of three: a class's base code c for a one-character flag
// name, c + 1 for a longer name or for a member of a group, and c + 2 for a member of a
// group whose own name is longer than one character.
#pragma once

#include <cstdint>

// Error classes.
constexpr uint32_t kFlagOutOfMemory = 1;
constexpr uint32_t kFlagPathSyntax = 2;  // the path merge's answer for an invalid path
constexpr uint32_t kFlagUnknown = 11;
constexpr uint32_t kFlagSyntax = 14;
constexpr uint32_t kFlagNoData = 17;  // no number given: a range flag keeps its defaults
constexpr uint32_t kFlagBelowMinimum = 20;
constexpr uint32_t kFlagAboveMaximum = 23;
constexpr uint32_t kFlagTooShort = 26;
constexpr uint32_t kFlagTooLong = 29;
constexpr uint32_t kFlagBadFileName = 32;
constexpr uint32_t kFlagBadDirectory = 35;
constexpr uint32_t kFlagUnknownValue = 38;

// t_Flag::state after the parser met the flag.
constexpr uint32_t kFlagMinus = 0;  // "/-X"
constexpr uint32_t kFlagPlain = 1;  // "/X"
constexpr uint32_t kFlagPlus = 2;   // "/+X"
constexpr uint32_t kFlagTilde = 3;  // "/~X"

// t_Flag::kind. Any kind other than a group is parsed by the flag's own Parse; the range
// flag takes 3, the first code that means neither a group nor a string, and flag classes
// of an application may take any other.
constexpr uint32_t kFlagKindGroup = 1;
constexpr uint32_t kFlagKindString = 2;
constexpr uint32_t kFlagKindRange = 3;

class t_Flag {
 public:
  // Reads the flag's value at cursor and moves cursor past it. Returns 0 or an error code.
  virtual uint32_t Parse(const char*& cursor) = 0;
  // Not used by the parser; kept for flag classes that need a second operation.
  virtual uint32_t Reserved();
  virtual ~t_Flag();

  const char* name;       // as written after "/", matched without regard to case; not owned
  uint32_t state;         // the modifier met with the flag; initialState when it did not occur
  uint32_t initialState;  // never changed by the parser
  uint32_t kind;

  t_Flag(const t_Flag&) = delete;
  t_Flag& operator=(const t_Flag&) = delete;

 protected:
  t_Flag(const char* name, uint32_t initialState, uint32_t kind);
};

// A flag whose name is followed by member flags: "/Gab" sets the members a and b of G.
// Groups nest one level: a group met inside a group only gets its state set.
class t_FlagGroup : public t_Flag {
 public:
  t_FlagGroup(const char* name, t_Flag** members, uint32_t initialState);
  // Never called by the parser; a group has no value of its own.
  uint32_t Parse(const char*& cursor) override;

  t_Flag** members;  // NULL-terminated; not owned
};

class t_FlagString;
using FlagValidator = uint32_t (*)(t_FlagString* flag);

// A string-valued flag. The value follows the name, or the white space after it; it runs
// to white space or "/" outside quotes. A quote character toggles quoting and two in a row
// stand for one quote character.
class t_FlagString : public t_Flag {
 public:
  // Free text of minLength to maxLength characters, with an optional extra check.
  // maxLength grows to the default's length when that is longer.
  t_FlagString(const char* name, const char* defaultText, int32_t minLength, int32_t maxLength,
               FlagValidator validator, uint32_t initialState);
  // One of a NULL-terminated list of values (not owned), matched without regard to case;
  // the value becomes the list's entry. defaultIndex 0 means no default, n the n-th entry.
  t_FlagString(const char* name, uint32_t defaultIndex, const char* const* choices,
               uint32_t initialState);
  // Up to nine values given one by one; the list ends at the first null and never holds
  // more than nine (a tenth value is not taken). The flag keeps its own copy of the list.
  t_FlagString(const char* name, uint32_t defaultIndex, const char* choice1,
               const char* choice2, const char* choice3, const char* choice4,
               const char* choice5, const char* choice6, const char* choice7,
               const char* choice8, const char* choice9, const char* choice10,
               uint32_t initialState);
  // A path: pathKind 1 checks a file name, 0 a directory, anything else nothing.
  t_FlagString(const char* name, const char* defaultText, int32_t minLength, int32_t maxLength,
               int32_t pathKind, uint32_t initialState);
  ~t_FlagString() override;

  uint32_t Parse(const char*& cursor) override;

  uint32_t ownsChoices;
  const char* value;  // buffer, defaultValue or an entry of choices
  int32_t minLength;
  int32_t maxLength;
  const char* defaultValue;   // not owned; may be null
  const char* const* choices; // NULL-terminated, or null
  FlagValidator validator;    // may be null
  char* buffer;               // owned: the characters read from the command line

 private:
  // kFlagOutOfMemory when the constructor could not allocate the choice list: the flag
  // then refuses every value rather than accept values outside the list.
  uint32_t constructionError = 0;
};

// An unsigned 32-bit range: "N", "N-M", "-M" or "N-". A number is decimal, "0x"
// hexadecimal, "0" octal, or one character in single quotes ('A' is 65). The range is
// kept in order (low <= high); a missing end keeps its default.
class t_FlagULongR : public t_Flag {
 public:
  // The accepted bounds first, then the range taken when no number is given.
  t_FlagULongR(const char* name, uint32_t minimum, uint32_t maximum, uint32_t defaultLow,
               uint32_t defaultHigh, uint32_t initialState);
  uint32_t Parse(const char*& cursor) override;

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
  uint32_t error = 0;
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
uint32_t ParseCommandLine(FlagContext& context);
// Parses an argument text: the first word (the program name) is skipped, then every item
// that starts with "/" is parsed; other words are ignored.
uint32_t ParseArguments(FlagContext& context, const char* text);
// Parses one "/" item (a run of flags) at cursor against table.
uint32_t ParseFlagGroup(FlagContext& context, const char*& cursor, t_Flag** table);
// Reads one number at cursor into value: 0, kFlagNoData when no number starts there,
// kFlagSyntax for a broken quoted character, kFlagBelowMinimum or kFlagAboveMaximum.
// value changes only on success.
uint32_t ReadNumber(const char*& cursor, uint32_t& value, uint32_t minimum, uint32_t maximum);

// Prints "\n", the message for context.error and ".\n" on standard output.
void ReportFlagError(const FlagContext& context);
// Prints text upper-cased up to the first character in stop; "(Null Pointer)" for null.
void PrintUpperUntil(const char* text, const char* stop);

// Validators of path flags: 0, or kFlagBadFileName / kFlagBadDirectory.
uint32_t ValidateFileName(t_FlagString* flag);
uint32_t ValidateDirectory(t_FlagString* flag);
