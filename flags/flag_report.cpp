// The messages of the flag library's error codes.
//
// One message per code, printed with the C runtime's printf on standard output between a
// leading "\n" and a closing ".\n". The texts quote what the user typed (the item at
// token, upper-cased) or the flag's name and value, so the user sees which item failed.
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
  if (flag == nullptr || flag->kind != kFlagKindString) return "";
  const char* value = static_cast<const t_FlagString*>(flag)->value;
  return value != nullptr ? value : "";
}

// VALUE of the messages that quote "/NAME" followed by the value. When the flag is a
// one-character group, the error belongs to one of its members and the group has no
// value: the member's name and value follow the group's name, so the text reads as the
// item the user typed ("/GMvalue").
std::string ItemValue(const FlagContext& context) {
  if (context.flag != nullptr && context.flag->kind == kFlagKindGroup) {
    return std::string(NameOf(context.member)) + ValueOf(context.member);
  }
  return ValueOf(context.flag);
}

}  // namespace

void PrintUpperUntil(const char* text, const char* stop) {
  if (text == nullptr) {
    std::fputs(kNullText, stdout);
    return;
  }
  for (; *text != '\0'; ++text) {
    if (stop != nullptr && std::strchr(stop, *text) != nullptr) break;
    std::putchar(Upper(*text));
  }
}

void ReportFlagError(const FlagContext& context) {
  const char* name = NameOf(context.flag);
  const char* member = NameOf(context.member);
  std::string itemValue = ItemValue(context);
  std::string memberValue = ValueOf(context.member);

  std::printf("\n");
  switch (context.error) {
    case 1:
      std::printf("Error: Out of memory");
      break;
    case 2:
      std::printf("Error: Syntax error in path - \"");
      PrintUpperUntil(context.token, " ");
      std::printf("\"");
      break;
    case 3:
      std::printf("Error: Syntax error in directory - \"");
      PrintUpperUntil(context.token, " ");
      std::printf("\"");
      break;
    case 4:
      std::printf("Error: No such drive - \"");
      PrintUpperUntil(context.token, " :");
      std::printf(":\"");
      break;
    case 5:
      std::printf("Error: Directory not found - \"");
      PrintUpperUntil(context.token, " ");
      std::printf("\"");
      break;
    case 6:
      std::printf("Error: Too many Directories specified.");
      break;
    case 7:
      std::printf("Error: Too many Filenames specified.");
      break;
    case 8:
      std::printf("Error: Syntax error in environment - Env=%s, Dir=", Text(context.memberToken));
      PrintUpperUntil(context.token, " ;");
      break;
    case 9:
      std::printf("Error: Environment variable not found - \"");
      PrintUpperUntil(context.memberToken, " ");
      std::printf("\"");
      break;
    case 10:
      std::printf("Warning: Directory in environment not found - Env=%s, Dir=",
                  Text(context.memberToken));
      PrintUpperUntil(context.token, " ;");
      break;
    case 11:
      std::printf("Error: Unknown flag - \"/%c\"", FirstUpperOf(context.token));
      break;
    case 12:
      std::printf("Error: Unknown flag - \"/");
      PrintUpperUntil(context.token, " =");
      std::printf("\"");
      break;
    case 13:
      std::printf("Error: Unknown flag in \"/%s\" - '%c'", name, FirstUpperOf(context.memberToken));
      break;
    case 14:
    case 15:
      std::printf("Error: Syntax error in flag - \"/");
      PrintUpperUntil(context.token, " ");
      std::printf("\"");
      break;
    case 16:
      std::printf("Error: Flag syntax error in \"/%s\" - '%c'", name, FirstOfName(context.member));
      break;
    case 17:
    case 18:
      std::printf("Error: No data given for flag - \"/%s\"", name);
      break;
    case 19:
      std::printf("Error: No data given for flag in \"/%s\" - '%c'", name,
                  FirstOfName(context.member));
      break;
    case 20:
    case 21:
    case 23:
    case 24:
      std::printf("Error: Out of bounds in flag - \"/%s\"", name);
      break;
    case 22:
    case 25:
      std::printf("Error: Flag out of bounds in \"/%s\" - '%c'", name, FirstOfName(context.member));
      break;
    case 26:
    case 27:
      std::printf("Error: String contains too few characters in flag - \"/%s%s\"", name,
                  itemValue.c_str());
      break;
    case 28:
      std::printf("Error: String contains too few characters for flag in \"/%s\" - '%s'%s\"", name,
                  member, memberValue.c_str());
      break;
    case 29:
    case 30:
      std::printf("Error: String contains too many characters in flag - \"/%s%s...\"", name,
                  itemValue.c_str());
      break;
    case 31:
      std::printf("Error: String contains too many characters for flag in \"/%s\" - '%s'%s...\"",
                  name, member, memberValue.c_str());
      break;
    case 32:
    case 33:
      std::printf("Error: Syntax error in filename - \"/%s%s\"", name, itemValue.c_str());
      break;
    case 34:
      std::printf("Error: Syntax error in filename for flag in \"/%s\" - '%s'%s\"", name, member,
                  memberValue.c_str());
      break;
    case 35:
    case 36:
      std::printf("Error: Syntax error in directory - \"/%s%s\"", name, itemValue.c_str());
      break;
    case 37:
      std::printf("Error: Syntax error in directory for flag in \"/%s\" - '%s'%s\"", name, member,
                  memberValue.c_str());
      break;
    case 38:
    case 39:
      std::printf("Error: Unknown parameter value - \"/%s%s\"", name, itemValue.c_str());
      break;
    case 40:
      std::printf("Error: Unknown parameter value for flag in \"/%s\" - '%s'%s\"", name, member,
                  memberValue.c_str());
      break;
    default:
      std::printf("Error: Unknown error: ");
      break;
  }
  std::printf(".\n");
}
