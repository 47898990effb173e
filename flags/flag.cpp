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

// The code of the same class one place on (FlagPlace).
FlagError OnePlaceOn(FlagError code) {
  return static_cast<FlagError>(static_cast<uint32_t>(code) + 1);
}

int32_t TextLength(const char* text) {
  if (text == nullptr) return 0;
  size_t length = std::strlen(text);
  return length > INT32_MAX ? INT32_MAX : static_cast<int32_t>(length);
}

}  // namespace

// ---- Flag objects ----

t_Flag::t_Flag(const char* name, FlagState initialState, FlagKind kind)
    : name(name), state(initialState), initialState(initialState), kind(kind) {}

t_Flag::~t_Flag() = default;

uint32_t t_Flag::Reserved() { return 0; }

t_FlagGroup::t_FlagGroup(const char* name, t_Flag** members, FlagState initialState)
    : t_Flag(name, initialState, FlagKind::Group), members(members) {}

FlagError t_FlagGroup::Parse(const char*&) { return FlagError::None; }

t_FlagString::t_FlagString(const char* name, const char* defaultText, int32_t minLength,
                           int32_t maxLength, FlagValidator validator, FlagState initialState)
    : t_Flag(name, initialState, FlagKind::String),
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
                           FlagState initialState)
    : t_Flag(name, initialState, FlagKind::String),
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
                           FlagState initialState)
    : t_FlagString(name, defaultIndex,
                   CopyNineChoices({choice1, choice2, choice3, choice4, choice5, choice6, choice7,
                                    choice8, choice9, choice10}),
                   initialState) {
  if (choices != nullptr) {
    ownsChoices = 1;
  } else {
    constructionError = FlagError::OutOfMemory;
  }
}

t_FlagString::t_FlagString(const char* name, const char* defaultText, int32_t minLength,
                           int32_t maxLength, FlagPathKind pathKind, FlagState initialState)
    : t_FlagString(name, defaultText, minLength, maxLength,
                   pathKind == FlagPathKind::File        ? ValidateFileName
                   : pathKind == FlagPathKind::Directory ? ValidateDirectory
                                                         : nullptr,
                   initialState) {}

t_FlagString::~t_FlagString() {
  std::free(buffer);
  if (ownsChoices) delete[] choices;
}

FlagError t_FlagString::Parse(const char*& cursor) {
  if (constructionError != FlagError::None) return constructionError;
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
  if (buffer == nullptr) return FlagError::OutOfMemory;
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

  if (stored > static_cast<size_t>(maxLength < 0 ? 0 : maxLength)) return FlagError::TooLong;
  if (static_cast<int64_t>(stored) < minLength) return FlagError::TooShort;
  if (stored == 0) {
    if (defaultValue != nullptr) value = defaultValue;
    return FlagError::None;
  }
  if (choices != nullptr && choices[0] != nullptr) {
    for (const char* const* choice = choices; *choice != nullptr; ++choice) {
      if (EqualNoCase(buffer, *choice)) {
        value = *choice;
        return FlagError::None;
      }
    }
    return FlagError::UnknownValue;
  }
  return validator != nullptr ? validator(this) : FlagError::None;
}

t_FlagULongR::t_FlagULongR(const char* name, uint32_t minimum, uint32_t maximum,
                           uint32_t defaultLow, uint32_t defaultHigh, FlagState initialState)
    : t_Flag(name, initialState, FlagKind::Range),
      low(defaultLow),
      high(defaultHigh),
      minimum(minimum),
      maximum(maximum),
      defaultLow(defaultLow),
      defaultHigh(defaultHigh) {}

FlagError t_FlagULongR::Parse(const char*& cursor) {
  low = defaultLow;
  high = defaultHigh;
  // A leading "-" gives the upper end alone.
  bool upperOnly = *cursor == '-';
  if (upperOnly) ++cursor;
  FlagError error = ReadNumber(cursor, upperOnly ? high : low, minimum, maximum);
  // No number at all: the range is the flag's defaults, exactly as the application
  // declared them.
  if (error == FlagError::NoData) return FlagError::None;
  if (error != FlagError::None) return error;
  if (!upperOnly && *cursor == '-') {
    ++cursor;
    error = ReadNumber(cursor, high, minimum, maximum);
    // "N-": the upper end keeps its default.
    if (error == FlagError::NoData) error = FlagError::None;
    if (error != FlagError::None) return error;
  }
  if (high < low) {
    uint32_t lower = high;
    high = low;
    low = lower;
  }
  return FlagError::None;
}

// ---- Parser ----

FlagError ReadNumber(const char*& cursor, uint32_t& value, uint32_t minimum, uint32_t maximum) {
  const char* p = cursor;
  uint32_t number;
  if (!IsDigit(*p)) {
    if (*p != '\'') return FlagError::NoData;
    // 'c': the terminator must not be taken for the character, or the closing quote
    // would be looked for past the end of the text.
    if (p[1] == '\0' || p[2] != '\'') return FlagError::Syntax;
    number = static_cast<unsigned char>(p[1]);
    p += 3;
  } else {
    // Read with a 32-bit result whatever the width of long, so that the Windows and the
    // Linux builds take the same numbers; a number above 32 bits reads as 0xFFFFFFFF.
    number = ParseUnsigned32(p, &p, 0);
  }
  cursor = p;
  // An out-of-bounds number is not stored, so the flag keeps its defaults.
  if (number < minimum) return FlagError::BelowMinimum;
  if (number > maximum) return FlagError::AboveMaximum;
  value = number;
  return FlagError::None;
}

FlagError ParseFlagGroup(FlagContext& context, const char*& cursor, t_Flag** table) {
  ++flagNestingDepth;
  const bool topLevel = flagNestingDepth == 0;
  if (topLevel) {
    while (*cursor == ' ') ++cursor;
  }
  FlagState modifier = FlagState::Plain;
  size_t nameLength = 1;
  context.error = FlagError::None;
  while (*cursor != '\0' && !IsSpace(*cursor) && context.error == FlagError::None) {
    nameLength = 1;
    char c = *cursor;
    if (c == '-') {
      modifier = FlagState::Minus;
      ++cursor;
    } else if (c == '+') {
      modifier = FlagState::Plus;
      ++cursor;
    } else if (c == '~') {
      modifier = FlagState::Tilde;
      ++cursor;
    } else if (c == '/') {
      modifier = FlagState::Plain;
      // Inside a group the next "/" ends the group; the top level takes it as the start
      // of the next item.
      if (!topLevel) break;
      ++cursor;
    } else {
      context.error = FlagError::Unknown;
      (topLevel ? context.token : context.memberToken) = cursor;
      t_Flag* flag = FindFlag(table, cursor);
      if (flag != nullptr) {
        nameLength = std::strlen(flag->name);
        cursor += nameLength;
        context.afterName = cursor;
        (topLevel ? context.flag : context.member) = flag;
        flag->state = modifier;
        modifier = FlagState::Plain;
        if (flag->kind == FlagKind::Group) {
          // Groups nest one level only: a group inside a group just gets its state.
          context.error =
              topLevel ? ParseFlagGroup(context, cursor, static_cast<t_FlagGroup*>(flag)->members)
                       : FlagError::None;
        } else {
          context.error = flag->Parse(cursor);
        }
      }
    }
  }
  // Each level whose item is more than one character moves a class's code on by one place
  // (FlagPlace): a longer name, a member, and a member of a group with a longer name. The
  // scheme applies to the classes from 11 on; codes 1 to 10 keep their number
  // (doc/differences.md).
  if (context.error >= FlagError::Unknown && (nameLength != 1 || !topLevel)) {
    context.error = OnePlaceOn(context.error);
  }
  --flagNestingDepth;
  return context.error;
}

FlagError ParseArguments(FlagContext& context, const char* text) {
  context.error = FlagError::None;
  if (text == nullptr) return FlagError::None;
  const char* cursor = text;
  while (IsSpace(*cursor)) ++cursor;
  // A quoted program name runs to its closing quote, blanks and all (doc/differences.md).
  bool quoted = false;
  while (*cursor != '\0' && (quoted || !IsSpace(*cursor))) {
    if (*cursor == '"') quoted = !quoted;
    ++cursor;
  }
  while (*cursor != '\0' && context.error == FlagError::None) {
    while (IsSpace(*cursor)) ++cursor;
    if (*cursor == '/') {
      ParseFlagGroup(context, cursor, context.table);
    } else {
      while (*cursor != '\0' && !IsSpace(*cursor) && *cursor != '/') ++cursor;
    }
  }
  return context.error;
}

FlagError ParseCommandLine(FlagContext& context) {
  return ParseArguments(context, ProcessCommandLine());
}

// ---- Validators ----

FlagError ValidateFileName(t_FlagString* flag) {
  PathParts parts;
  PathParse(parts, flag != nullptr ? flag->value : nullptr, 1, kPathValueStops);
  return PathIsValidFile(parts) ? FlagError::None : FlagError::BadFileName;
}

FlagError ValidateDirectory(t_FlagString* flag) {
  PathParts parts;
  PathParse(parts, flag != nullptr ? flag->value : nullptr, 0, kPathValueStops);
  return PathIsValidDirectory(parts) ? FlagError::None : FlagError::BadDirectory;
}
