#include "flags/flag.h"

#include <cstdlib>
#include <cstring>

#include "flags/command_line.h"
#include "flags/path_parts.h"
#include "flags/text_chars.h"
#include "format/parse_number.h"

int32_t flagNestingDepth = -1;

namespace {

// The characters that end a path given as a flag value.
constexpr const char* kPathValueStops = "/ \t\n";

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EqualNoCase(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    if (Upper(*a) != Upper(*b)) return false;
  }
  return *a == *b;
}

// Whether the text at cursor begins with name, without regard to case. The text's
// terminator differs from every character of the name, so the comparison never reads past
// either.
bool StartsWithName(const char* cursor, const char* name) {
  for (; *name != '\0'; ++name, ++cursor) {
    if (Upper(*cursor) != Upper(*name)) return false;
  }
  return true;
}

// The first flag of table whose whole name starts the text. A flag without a name would
// match everywhere without moving the cursor, so the parse could never end: it is skipped.
t_Flag* FindFlag(t_Flag** table, const char* cursor) {
  if (table == nullptr) return nullptr;
  for (t_Flag** entry = table; *entry != nullptr; ++entry) {
    const char* name = (*entry)->name;
    if (name != nullptr && name[0] != '\0' && StartsWithName(cursor, name)) return *entry;
  }
  return nullptr;
}

size_t CountChoices(const char* const* choices) {
  size_t count = 0;
  if (choices != nullptr) {
    while (choices[count] != nullptr) ++count;
  }
  return count;
}

int32_t TextLength(const char* text) {
  if (text == nullptr) return 0;
  size_t length = std::strlen(text);
  return length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
}

}  // namespace

// ---- Flag objects ----

t_Flag::t_Flag(const char* name, uint32_t initialState, uint32_t kind)
    : name(name), state(initialState), initialState(initialState), kind(kind) {}

t_Flag::~t_Flag() = default;

uint32_t t_Flag::Reserved() { return 0; }

t_FlagGroup::t_FlagGroup(const char* name, t_Flag** members, uint32_t initialState)
    : t_Flag(name, initialState, kFlagKindGroup), members(members) {}

uint32_t t_FlagGroup::Parse(const char*&) { return 0; }

t_FlagString::t_FlagString(const char* name, const char* defaultText, int32_t minLength,
                           int32_t maxLength, FlagValidator validator, uint32_t initialState)
    : t_Flag(name, initialState, kFlagKindString),
      ownsChoices(0),
      value(defaultText),
      minLength(minLength),
      maxLength(maxLength),
      defaultValue(defaultText),
      choices(nullptr),
      validator(validator),
      buffer(nullptr) {
  // Never negative: the default's length is at least 0.
  int32_t defaultLength = TextLength(defaultText);
  if (this->maxLength < defaultLength) this->maxLength = defaultLength;
}

t_FlagString::t_FlagString(const char* name, uint32_t defaultIndex, const char* const* choices,
                           uint32_t initialState)
    : t_Flag(name, initialState, kFlagKindString),
      ownsChoices(0),
      value(nullptr),
      minLength(0),
      maxLength(0),
      defaultValue(nullptr),
      choices(choices),
      validator(nullptr),
      buffer(nullptr) {
  // An index past the end of the list names no entry: reading it would read past the
  // list, so such a flag has no default.
  size_t count = CountChoices(choices);
  if (defaultIndex != 0 && defaultIndex <= count) defaultValue = choices[defaultIndex - 1];
  value = defaultValue;
  // Any value longer than the longest choice cannot match, so the copy stops there.
  minLength = maxLength = TextLength(defaultValue);
  for (size_t i = 0; i < count; ++i) {
    int32_t length = TextLength(choices[i]);
    if (length < minLength) minLength = length;
    if (length > maxLength) maxLength = length;
  }
}

namespace {

// The ten-slot list of the nine-choice form; slot 9 always ends it.
const char** CopyNineChoices(const char* const (&given)[10]) {
  const char** list = new (std::nothrow) const char*[10];
  if (list == nullptr) return nullptr;
  for (int i = 0; i < 9; ++i) list[i] = given[i];
  list[9] = nullptr;
  return list;
}

}  // namespace

t_FlagString::t_FlagString(const char* name, uint32_t defaultIndex, const char* choice1,
                           const char* choice2, const char* choice3, const char* choice4,
                           const char* choice5, const char* choice6, const char* choice7,
                           const char* choice8, const char* choice9, const char* choice10,
                           uint32_t initialState)
    : t_FlagString(name, defaultIndex,
                   CopyNineChoices({choice1, choice2, choice3, choice4, choice5, choice6,
                                    choice7, choice8, choice9, choice10}),
                   initialState) {
  if (choices != nullptr) {
    ownsChoices = 1;
  } else {
    constructionError = kFlagOutOfMemory;
  }
}

t_FlagString::t_FlagString(const char* name, const char* defaultText, int32_t minLength,
                           int32_t maxLength, int32_t pathKind, uint32_t initialState)
    : t_FlagString(name, defaultText, minLength, maxLength,
                   pathKind == 1   ? ValidateFileName
                   : pathKind == 0 ? ValidateDirectory
                                   : nullptr,
                   initialState) {}

t_FlagString::~t_FlagString() {
  std::free(buffer);
  if (ownsChoices) delete[] choices;
}

uint32_t t_FlagString::Parse(const char*& cursor) {
  if (constructionError != 0) return constructionError;
  std::free(buffer);
  buffer = nullptr;
  value = defaultValue;

  // Room for maxLength + 1 characters, so that one too many shows the value is too long,
  // and a terminator. No more than the rest of the text can fill: every stored character
  // uses up at least one character of the text, and a generous maxLength must not turn
  // into a huge allocation.
  size_t limit = static_cast<size_t>(maxLength < 0 ? 0 : maxLength) + 1;
  size_t room = 0;
  while (room < limit && cursor[room] != '\0') ++room;
  buffer = static_cast<char*>(std::malloc(room + 1));
  if (buffer == nullptr) return kFlagOutOfMemory;
  buffer[0] = '\0';
  value = buffer;

  while (IsSpace(*cursor)) ++cursor;
  size_t stored = 0;
  bool quoted = false;
  while (stored < limit && *cursor != '\0') {
    char c = *cursor;
    if (c == '"') {
      if (cursor[1] == '"') {
        buffer[stored++] = '"';
        cursor += 2;
      } else {
        quoted = !quoted;
        ++cursor;
      }
      continue;
    }
    if (!quoted && (IsSpace(c) || c == '/')) break;
    buffer[stored++] = c;
    ++cursor;
  }
  buffer[stored] = '\0';

  if (stored > static_cast<size_t>(maxLength < 0 ? 0 : maxLength)) return kFlagTooLong;
  if (static_cast<int64_t>(stored) < minLength) return kFlagTooShort;
  if (stored == 0) {
    if (defaultValue != nullptr) value = defaultValue;
    return 0;
  }
  if (choices != nullptr && choices[0] != nullptr) {
    for (const char* const* choice = choices; *choice != nullptr; ++choice) {
      if (EqualNoCase(buffer, *choice)) {
        value = *choice;
        return 0;
      }
    }
    return kFlagUnknownValue;
  }
  return validator != nullptr ? validator(this) : 0;
}

t_FlagULongR::t_FlagULongR(const char* name, uint32_t minimum, uint32_t maximum,
                           uint32_t defaultLow, uint32_t defaultHigh, uint32_t initialState)
    : t_Flag(name, initialState, kFlagKindRange),
      low(defaultLow),
      high(defaultHigh),
      minimum(minimum),
      maximum(maximum),
      defaultLow(defaultLow),
      defaultHigh(defaultHigh) {}

uint32_t t_FlagULongR::Parse(const char*& cursor) {
  low = defaultLow;
  high = defaultHigh;
  uint32_t error;
  if (*cursor == '-') {
    ++cursor;
    error = ReadNumber(cursor, high, minimum, maximum);
  } else {
    error = ReadNumber(cursor, low, minimum, maximum);
    if (error == 0 && *cursor == '-') {
      ++cursor;
      error = ReadNumber(cursor, high, minimum, maximum);
    }
  }
  // No number where one may stand: that end keeps its default.
  if (error == kFlagNoData) error = 0;
  if (error != 0) return error;
  if (high < low) {
    uint32_t lower = high;
    high = low;
    low = lower;
  }
  return 0;
}

// ---- Parser ----

uint32_t ReadNumber(const char*& cursor, uint32_t& value, uint32_t minimum, uint32_t maximum) {
  const char* p = cursor;
  uint32_t number;
  if (!IsDigit(*p)) {
    if (*p != '\'') return kFlagNoData;
    // 'c': the terminator must not be taken for the character, or the closing quote
    // would be looked for past the end of the text.
    if (p[1] == '\0' || p[2] != '\'') return kFlagSyntax;
    number = static_cast<unsigned char>(p[1]);
    p += 3;
  } else {
    // Read with a 32-bit result whatever the width of long, so that the Windows and the
    // Linux builds take the same numbers; a number above 32 bits reads as 0xFFFFFFFF.
    number = ParseUnsigned32(p, &p, 0);
  }
  cursor = p;
  // An out-of-bounds number is not stored, so the flag keeps its defaults.
  if (number < minimum) return kFlagBelowMinimum;
  if (number > maximum) return kFlagAboveMaximum;
  value = number;
  return 0;
}

uint32_t ParseFlagGroup(FlagContext& context, const char*& cursor, t_Flag** table) {
  ++flagNestingDepth;
  const bool topLevel = flagNestingDepth == 0;
  if (topLevel) {
    while (*cursor == ' ') ++cursor;
  }
  uint32_t modifier = kFlagPlain;
  size_t nameLength = 1;
  context.error = 0;
  while (*cursor != '\0' && !IsSpace(*cursor) && context.error == 0) {
    nameLength = 1;
    char c = *cursor;
    if (c == '-') {
      modifier = kFlagMinus;
      ++cursor;
    } else if (c == '+') {
      modifier = kFlagPlus;
      ++cursor;
    } else if (c == '~') {
      modifier = kFlagTilde;
      ++cursor;
    } else if (c == '/') {
      modifier = kFlagPlain;
      // Inside a group the next "/" ends the group; the top level takes it as the start
      // of the next item.
      if (!topLevel) break;
      ++cursor;
    } else {
      context.error = kFlagUnknown;
      (topLevel ? context.token : context.memberToken) = cursor;
      t_Flag* flag = FindFlag(table, cursor);
      if (flag != nullptr) {
        nameLength = std::strlen(flag->name);
        cursor += nameLength;
        context.afterName = cursor;
        (topLevel ? context.flag : context.member) = flag;
        flag->state = modifier;
        modifier = kFlagPlain;
        if (flag->kind == kFlagKindGroup) {
          // Groups nest one level only: a group inside a group just gets its state.
          context.error =
              topLevel ? ParseFlagGroup(context, cursor, static_cast<t_FlagGroup*>(flag)->members)
                       : 0;
        } else {
          context.error = flag->Parse(cursor);
        }
      }
    }
  }
  // The c, c + 1, c + 2 scheme applies to the classes from 11 on. Codes 1 to 10 are
  // single messages of their own (out of memory, path and environment errors that a
  // validator may pass on): moving them on by one would report a different error.
  if (context.error >= kFlagUnknown && (nameLength != 1 || !topLevel)) ++context.error;
  --flagNestingDepth;
  return context.error;
}

uint32_t ParseArguments(FlagContext& context, const char* text) {
  context.error = 0;
  if (text == nullptr) return 0;
  const char* cursor = text;
  while (IsSpace(*cursor)) ++cursor;
  // The program name may be quoted because its path holds blanks ("C:\Program
  // Files\..."); the blanks inside the quotes do not end it. Without this, the rest of a
  // quoted path would be taken for arguments, and a "/" in it for a flag.
  bool quoted = false;
  while (*cursor != '\0' && (quoted || !IsSpace(*cursor))) {
    if (*cursor == '"') quoted = !quoted;
    ++cursor;
  }
  while (*cursor != '\0' && context.error == 0) {
    while (IsSpace(*cursor)) ++cursor;
    if (*cursor == '/') {
      ParseFlagGroup(context, cursor, context.table);
    } else {
      while (*cursor != '\0' && !IsSpace(*cursor) && *cursor != '/') ++cursor;
    }
  }
  return context.error;
}

uint32_t ParseCommandLine(FlagContext& context) {
  return ParseArguments(context, ProcessCommandLine());
}

// ---- Validators ----

uint32_t ValidateFileName(t_FlagString* flag) {
  PathParts parts;
  PathParse(parts, flag != nullptr ? flag->value : nullptr, 1, kPathValueStops);
  return PathIsValidFile(parts) ? 0 : kFlagBadFileName;
}

uint32_t ValidateDirectory(t_FlagString* flag) {
  PathParts parts;
  PathParse(parts, flag != nullptr ? flag->value : nullptr, 0, kPathValueStops);
  return PathIsValidDirectory(parts) ? 0 : kFlagBadDirectory;
}
