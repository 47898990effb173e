// The messages of the flag library's error codes.
//
// One message per code, kept in a table of codes, text and arguments, formatted as the C
// runtime's printf formats it between a leading "\n" and a closing ".\n", and printed on
// standard output in one piece. The texts
// quote what the user typed (the item at token, upper-cased) or the flag's name and value,
// so the user sees which item failed.
#include <cstdio>
#include <cstring>
#include <string>

#include "flags/flag.h"
#include "flags/text_chars.h"

namespace {

constexpr const char* kNullText = "(Null Pointer)";

const char* Text(const char* text) { return text != nullptr ? text : kNullText; }

const char* NameOf(const t_Flag* flag) { return Text(flag != nullptr ? flag->name : nullptr); }

// A message shows a character in quotes; a missing one shows as "?" rather than a NUL.
char FirstOf(const char* text) { return (text != nullptr && text[0] != '\0') ? text[0] : '?'; }

char FirstUpperOf(const char* text) { return Upper(FirstOf(text)); }

char FirstOfName(const t_Flag* flag) { return FirstOf(flag != nullptr ? flag->name : nullptr); }

// The value of a string flag; other flags have none.
std::string ValueOf(const t_Flag* flag) {
  if (flag == nullptr || flag->kind != FlagKind::String) return "";
  const char* value = static_cast<const t_FlagString*>(flag)->value;
  return value != nullptr ? value : "";
}

// VALUE of the messages that quote "/NAME" followed by the value. When the flag is a
// one-character group, the error belongs to one of its members and the group has no
// value: the member's name and value follow the group's name, so the text reads as the
// item the user typed ("/GMvalue").
std::string ItemValue(const FlagContext& context) {
  if (context.flag != nullptr && context.flag->kind == FlagKind::Group) {
    return std::string(NameOf(context.member)) + ValueOf(context.member);
  }
  return ValueOf(context.flag);
}

// The "%" arguments of a message's text, in this order. NAME is the name of context.flag,
// MEMBER the name of context.member.
enum class Args {
  None,
  Variable,          // %s the environment variable's name (held at memberToken)
  TokenLetter,       // %c the first character at token, upper-cased
  NameItemLetter,    // %s NAME, %c the first character at memberToken, upper-cased
  NameMemberLetter,  // %s NAME, %c the first character of MEMBER
  Name,              // %s NAME
  NameValue,         // %s NAME, %s the value of the item (see ItemValue)
  NameMemberValue,   // %s NAME, %s MEMBER, %s the value of the member
};

// What the user typed, quoted after the text by some messages: the item at token, or the
// environment variable's name at memberToken.
constexpr auto kToken = &FlagContext::token;
constexpr auto kVariable = &FlagContext::memberToken;

// The codes of a class for each place of its flag (FlagPlace).
constexpr FlagError ForLetter(FlagError errorClass) {
  return FlagCode(errorClass, FlagPlace::Letter);
}
constexpr FlagError ForName(FlagError errorClass) { return FlagCode(errorClass, FlagPlace::Name); }
constexpr FlagError ForMember(FlagError errorClass) {
  return FlagCode(errorClass, FlagPlace::Member);
}

// The message of up to four codes; unused slots hold None, which is no row's code. A row
// with an echo prints that text upper-cased up to a character of `stop`, then `after`.
struct Message {
  FlagError codes[4];
  Args args;
  const char* text;
  const char* FlagContext::*echo = nullptr;
  const char* stop = nullptr;
  const char* after = "";
};

constexpr Message kUnknownError{{}, Args::None, "Error: Unknown error: "};

// Codes 1 to 10 belong to the path and environment services that share this reporter.
// From 11 on, each class has a code for a one-character flag, one for a longer name or a
// member of a one-character group, and one for a member of a group with a longer name.
// One message a row, continued on a second line where it is long; clang-format would give
// each piece of a long row a line of its own.
// clang-format off
constexpr Message kMessages[] = {
    {{FlagError::OutOfMemory}, Args::None, "Error: Out of memory"},
    {{FlagError::PathSyntax}, Args::None, "Error: Syntax error in path - \"", kToken, " ", "\""},
    {{FlagError::DirectorySyntax}, Args::None, "Error: Syntax error in directory - \"", kToken, " ",
     "\""},
    {{FlagError::NoSuchDrive}, Args::None, "Error: No such drive - \"", kToken, " :", ":\""},
    {{FlagError::DirectoryNotFound}, Args::None, "Error: Directory not found - \"", kToken, " ",
     "\""},
    {{FlagError::TooManyDirectories}, Args::None, "Error: Too many Directories specified."},
    {{FlagError::TooManyFileNames}, Args::None, "Error: Too many Filenames specified."},
    {{FlagError::EnvironmentSyntax}, Args::Variable,
     "Error: Syntax error in environment - Env=%s, Dir=", kToken, " ;"},
    {{FlagError::VariableNotFound}, Args::None, "Error: Environment variable not found - \"",
     kVariable, " ", "\""},
    {{FlagError::EnvironmentDirectoryNotFound}, Args::Variable,
     "Warning: Directory in environment not found - Env=%s, Dir=", kToken, " ;"},
    {{ForLetter(FlagError::Unknown)}, Args::TokenLetter, "Error: Unknown flag - \"/%c\""},
    {{ForName(FlagError::Unknown)}, Args::None, "Error: Unknown flag - \"/", kToken, " =", "\""},
    {{ForMember(FlagError::Unknown)}, Args::NameItemLetter,
     "Error: Unknown flag in \"/%s\" - '%c'"},
    {{ForLetter(FlagError::Syntax), ForName(FlagError::Syntax)}, Args::None,
     "Error: Syntax error in flag - \"/", kToken, " ", "\""},
    {{ForMember(FlagError::Syntax)}, Args::NameMemberLetter,
     "Error: Flag syntax error in \"/%s\" - '%c'"},
    {{ForLetter(FlagError::NoData), ForName(FlagError::NoData)}, Args::Name,
     "Error: No data given for flag - \"/%s\""},
    {{ForMember(FlagError::NoData)}, Args::NameMemberLetter,
     "Error: No data given for flag in \"/%s\" - '%c'"},
    {{ForLetter(FlagError::BelowMinimum), ForName(FlagError::BelowMinimum),
      ForLetter(FlagError::AboveMaximum), ForName(FlagError::AboveMaximum)},
     Args::Name, "Error: Out of bounds in flag - \"/%s\""},
    {{ForMember(FlagError::BelowMinimum), ForMember(FlagError::AboveMaximum)},
     Args::NameMemberLetter, "Error: Flag out of bounds in \"/%s\" - '%c'"},
    {{ForLetter(FlagError::TooShort), ForName(FlagError::TooShort)}, Args::NameValue,
     "Error: String contains too few characters in flag - \"/%s%s\""},
    {{ForMember(FlagError::TooShort)}, Args::NameMemberValue,
     "Error: String contains too few characters for flag in \"/%s\" - '%s'%s\""},
    {{ForLetter(FlagError::TooLong), ForName(FlagError::TooLong)}, Args::NameValue,
     "Error: String contains too many characters in flag - \"/%s%s...\""},
    {{ForMember(FlagError::TooLong)}, Args::NameMemberValue,
     "Error: String contains too many characters for flag in \"/%s\" - '%s'%s...\""},
    {{ForLetter(FlagError::BadFileName), ForName(FlagError::BadFileName)}, Args::NameValue,
     "Error: Syntax error in filename - \"/%s%s\""},
    {{ForMember(FlagError::BadFileName)}, Args::NameMemberValue,
     "Error: Syntax error in filename for flag in \"/%s\" - '%s'%s\""},
    {{ForLetter(FlagError::BadDirectory), ForName(FlagError::BadDirectory)}, Args::NameValue,
     "Error: Syntax error in directory - \"/%s%s\""},
    {{ForMember(FlagError::BadDirectory)}, Args::NameMemberValue,
     "Error: Syntax error in directory for flag in \"/%s\" - '%s'%s\""},
    {{ForLetter(FlagError::UnknownValue), ForName(FlagError::UnknownValue)}, Args::NameValue,
     "Error: Unknown parameter value - \"/%s%s\""},
    {{ForMember(FlagError::UnknownValue)}, Args::NameMemberValue,
     "Error: Unknown parameter value for flag in \"/%s\" - '%s'%s\""},
};
// clang-format on

const Message& MessageFor(FlagError code) {
  for (const Message& message : kMessages) {
    for (FlagError listed : message.codes) {
      if (listed != FlagError::None && listed == code) return message;
    }
  }
  return kUnknownError;
}

// Appends a message's format text with its arguments, as the C runtime's printf
// formats them.
template <typename... Args>
void AppendFormatted(std::string& out, const char* format, Args... args) {
  int n = std::snprintf(nullptr, 0, format, args...);
  if (n <= 0) return;
  std::string text(static_cast<size_t>(n) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.resize(static_cast<size_t>(n));
  out += text;
}

// The text with its arguments. A text without arguments is taken as it stands, so that
// it is never read as a format.
void AppendText(std::string& out, const Message& message, const FlagContext& context) {
  const char* name = NameOf(context.flag);
  switch (message.args) {
    case Args::None: out += message.text; break;
    case Args::Variable: AppendFormatted(out, message.text, Text(context.memberToken)); break;
    case Args::TokenLetter: AppendFormatted(out, message.text, FirstUpperOf(context.token)); break;
    case Args::NameItemLetter:
      AppendFormatted(out, message.text, name, FirstUpperOf(context.memberToken));
      break;
    case Args::NameMemberLetter:
      AppendFormatted(out, message.text, name, FirstOfName(context.member));
      break;
    case Args::Name: AppendFormatted(out, message.text, name); break;
    case Args::NameValue:
      AppendFormatted(out, message.text, name, ItemValue(context).c_str());
      break;
    case Args::NameMemberValue:
      AppendFormatted(out, message.text, name, NameOf(context.member),
                      ValueOf(context.member).c_str());
      break;
  }
}

}  // namespace

std::string UpperUntilText(const char* text, const char* stop) {
  if (text == nullptr) return kNullText;
  std::string out;
  for (; *text != '\0'; ++text) {
    if (stop != nullptr && std::strchr(stop, *text) != nullptr) break;
    out += Upper(*text);
  }
  return out;
}

void PrintUpperUntil(const char* text, const char* stop) {
  std::fputs(UpperUntilText(text, stop).c_str(), stdout);
}

std::string FlagErrorText(const FlagContext& context) {
  const Message& message = MessageFor(context.error);
  std::string out = "\n";
  AppendText(out, message, context);
  if (message.echo != nullptr) out += UpperUntilText(context.*message.echo, message.stop);
  out += message.after;
  out += ".\n";
  return out;
}

void ReportFlagError(const FlagContext& context) {
  std::fputs(FlagErrorText(context).c_str(), stdout);
}
