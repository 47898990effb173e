#include "flags/path_parts.h"

#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

namespace {

constexpr uint32_t kBreakRules = kPathInvalid | kPathWildcard | kPathColon | kPathBadCharacter;

bool IsStop(char c, const char* stop) {
  return c == '\0' || (stop != nullptr && std::strchr(stop, c) != nullptr);
}

// Bytes 0x80 to 0xFF count as below 0x20 (they are negative as signed bytes), so a path
// of this parser is plain printable ASCII.
bool IsName(char c, const char* stop) {
  if (static_cast<signed char>(c) < 0x20) return false;
  if (IsStop(c, stop)) return false;
  return std::strchr("\"+,/:;<>[\\]|", c) == nullptr;
}

bool IsPath(char c, const char* stop) { return c == ':' || IsName(c, stop); }

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// An owned copy of length bytes at source; none for an empty part.
char* CopyPart(PathParts& parts, const char* source, uint32_t length) {
  if (source == nullptr || length == 0) return nullptr;
  char* copy = static_cast<char*>(std::malloc(length));
  if (copy == nullptr) {
    parts.flags |= kPathNoMemory;
    return nullptr;
  }
  std::memcpy(copy, source, length);
  return copy;
}

// Appends to a bounded buffer; `full` once every byte of it holds text.
struct Output {
  char* buffer;
  uint32_t size;
  uint32_t used = 0;
  bool full = false;

  void Put(char c) {
    if (used < size) buffer[used++] = c;
    if (used == size) full = true;
  }
  void Put(const char* text, uint32_t length) {
    if (text == nullptr) return;
    for (uint32_t i = 0; i < length && !full; ++i) Put(text[i]);
  }
  char Last() const { return used == 0 ? '\0' : buffer[used - 1]; }
};

// ---- The steps of PathParse. ----

// A drive prefix "X:" at the start of text: returns where the directory starts. Any
// character but a letter before the colon makes the path invalid.
const char* PassDrive(PathParts& parts, const char* text) {
  if (text[1] != ':') return text;
  if (!IsLetter(text[0])) {
    parts.flags |= kPathInvalid;
    return text;
  }
  parts.drive = text;
  return text + 2;
}

// Forgets the file name, dot and extension found so far: they belonged to a directory
// component, or to the part of a component before a colon.
void ForgetFile(PathParts& parts) {
  parts.fileNameStart = nullptr;
  parts.lastDot = nullptr;
  parts.extensionStart = nullptr;
}

// Where the file name of a component starts, at p. "." and ".." are components of dots
// only, while a single dot before a name (".cfg") is the dot of an extension without a
// file name. Returns p past the leading dots but the last.
const char* StartName(PathParts& parts, const char* p, const char* stop) {
  if (!IsName(*p, stop)) return p;
  parts.fileNameStart = p;
  if (*p != '.') return p;
  const char* dots = p;
  while (*p == '.') ++p;
  if (!IsName(*p, stop)) {
    parts.flags |= kPathDotsOnly;
    return p;
  }
  --p;
  if (p == dots) parts.fileNameStart = nullptr;
  return p;
}

// One component, or the part of one after a ":", starting at p: returns where it ends,
// past its "\" when it is a directory.
const char* PassComponent(PathParts& parts, const char* p, const char* stop) {
  if (*p == ':') {
    // A colon splits the component, and what follows it is the file-name part: the name,
    // dot and extension found before it are forgotten (doc/differences.md).
    parts.flags |= kPathColon;
    ForgetFile(parts);
    ++p;
  }
  p = StartName(parts, p, stop);
  for (; IsName(*p, stop); ++p) {
    if (*p == '*' || *p == '?') parts.flags |= kPathWildcard;
    if (*p == '.') {
      // The extension is what follows the last dot; a dot with no name after it ("a.b.")
      // ends the name without an extension (doc/differences.md).
      parts.lastDot = p;
      parts.extensionStart = IsName(p[1], stop) ? p + 1 : nullptr;
    }
  }
  if (*p != '\\') return p;
  // The component was a directory: wildcards and colons are not allowed in one.
  if (parts.flags & (kPathWildcard | kPathColon)) parts.flags |= kPathInvalid;
  ForgetFile(parts);
  parts.flags &= ~(kPathWildcard | kPathColon | kPathDotsOnly);
  return p + 1;
}

// The dot, extension and file name of a path that may end in a file, from where they
// start to end.
void MeasureFile(PathParts& parts, const char* end) {
  if (parts.lastDot != nullptr) {
    parts.dotCount = 1;
    parts.flags |= kPathDot;
  }
  if (parts.extensionStart != nullptr) {
    parts.extensionLength = static_cast<uint32_t>(end - parts.extensionStart);
    parts.flags |= kPathExtension;
  }
  if (parts.fileNameStart != nullptr) {
    parts.fileNameLength = static_cast<uint32_t>(end - parts.fileNameStart) -
                           parts.extensionLength - static_cast<uint32_t>(parts.dotCount);
    parts.flags |= kPathFileName;
  }
}

// The directory is what the file part leaves of the text from directoryStart to end.
void MeasureDirectory(PathParts& parts, const char* end) {
  uint32_t length = static_cast<uint32_t>(end - parts.directoryStart) - parts.fileNameLength -
                    parts.extensionLength - static_cast<uint32_t>(parts.dotCount);
  // The colon before a file name belongs to neither part.
  if (length != 0 && (parts.flags & kPathColon)) --length;
  // The directory text keeps a leading "\" but not the final one; a rooted path whose
  // directory is that "\" alone ("C:\name") still has a directory, of length 0.
  if (length != 0 && parts.directoryStart[length - 1] == '\\') {
    --length;
    parts.flags |= kPathDirectory;
  }
  if (length != 0) parts.flags |= kPathDirectory;
  parts.directoryLength = length;
}

// Moves one part (its presence bit, its value and its length or count) from other to
// parts when other has it and parts lacks it. The value is the part's owned copy, or the
// character of the drive letter or the dot; a copy changes owner. The moved part comes
// from another text, so the source pointer of parts would not describe it: it is cleared,
// and only the value tells what the part holds. Returns whether the part moved.
template <typename Value, typename Length>
bool TakeMissingPart(PathParts& parts, PathParts& other, uint32_t bit, Value PathParts::*value,
                     Length PathParts::*length, const char* PathParts::*source) {
  if ((other.flags & bit) == 0 || (parts.flags & bit) != 0) return false;
  if constexpr (std::is_same_v<Value, char*>) std::free(parts.*value);
  parts.*value = std::exchange(other.*value, Value{});
  parts.*length = other.*length;
  parts.*source = nullptr;
  parts.flags |= bit;
  return true;
}

}  // namespace

PathParts::~PathParts() { PathReset(*this); }

void PathClear(PathParts& parts) {
  // Every field, source pointers included: a cleared PathParts never points into a text
  // that may be gone.
  parts.flags = 0;
  parts.driveLetter = 0;
  parts.drive = nullptr;
  parts.directory = nullptr;
  parts.directoryStart = nullptr;
  parts.fileName = nullptr;
  parts.fileNameStart = nullptr;
  parts.dot = 0;
  parts.lastDot = nullptr;
  parts.extension = nullptr;
  parts.extensionStart = nullptr;
  parts.position = nullptr;
  parts.driveCount = 0;
  parts.directoryLength = 0;
  parts.fileNameLength = 0;
  parts.dotCount = 0;
  parts.extensionLength = 0;
}

void PathReset(PathParts& parts) {
  std::free(parts.directory);
  std::free(parts.fileName);
  std::free(parts.extension);
  PathClear(parts);
}

const char* PathParse(PathParts& parts, const char* text, int fileAllowed, const char* stop) {
  PathReset(parts);
  parts.position = text;
  if (text == nullptr || text[0] == '\0') {
    parts.flags |= kPathInvalid;
    return text;
  }
  const char* p = PassDrive(parts, text);
  if (parts.flags & kPathInvalid) return text;

  parts.directoryStart = p;
  if (*p == '\\') {
    parts.flags |= kPathRooted;
    ++p;
  }
  // Every pass moves p on: it starts at a ":" (passed) or at a name character (passed).
  while (IsPath(*p, stop)) p = PassComponent(parts, p, stop);
  parts.position = p;
  if (!IsStop(*p, stop)) parts.flags |= kPathBadCharacter;

  if (fileAllowed == 1) {
    MeasureFile(parts, p);
  } else {
    ForgetFile(parts);
    if (parts.flags & (kPathWildcard | kPathColon)) parts.flags |= kPathInvalid;
  }
  MeasureDirectory(parts, p);
  if (parts.drive != nullptr) {
    parts.driveCount = 1;
    parts.flags |= kPathDrive;
  }
  return p;
}

const char* PathParseCopy(PathParts& parts, const char* text, int fileAllowed, const char* stop) {
  const char* end = PathParse(parts, text, fileAllowed, stop);
  if (parts.drive != nullptr) parts.driveLetter = parts.drive[0];
  parts.directory = CopyPart(parts, parts.directoryStart, parts.directoryLength);
  parts.fileName = CopyPart(parts, parts.fileNameStart, parts.fileNameLength);
  parts.extension = CopyPart(parts, parts.extensionStart, parts.extensionLength);
  if (parts.dotCount != 0 && parts.lastDot != nullptr) parts.dot = *parts.lastDot;
  return end;
}

const char* PathParseText(PathParts& parts, const char* text, int fileAllowed) {
  return PathParseCopy(parts, text, fileAllowed, nullptr);
}

FlagError PathMerge(PathParts& parts, const char* text, int fileAllowed, const char* stop) {
  PathParts other;
  PathParseCopy(other, text, fileAllowed, stop);
  // An invalid path lends nothing: half of a path that breaks the rules is no better a
  // default than none.
  if (other.flags & kPathInvalid) return FlagError::PathSyntax;

  TakeMissingPart(parts, other, kPathDrive, &PathParts::driveLetter, &PathParts::driveCount,
                  &PathParts::drive);
  if (TakeMissingPart(parts, other, kPathDirectory, &PathParts::directory,
                      &PathParts::directoryLength, &PathParts::directoryStart)) {
    parts.flags |= other.flags & kPathRooted;
  }
  TakeMissingPart(parts, other, kPathFileName, &PathParts::fileName, &PathParts::fileNameLength,
                  &PathParts::fileNameStart);
  // The extension only comes with the dot: an extension after the dot of another path
  // would name a different file type than the one the first path gave.
  if (TakeMissingPart(parts, other, kPathDot, &PathParts::dot, &PathParts::dotCount,
                      &PathParts::lastDot)) {
    TakeMissingPart(parts, other, kPathExtension, &PathParts::extension,
                    &PathParts::extensionLength, &PathParts::extensionStart);
  }
  // A copy the other path could not make is missing from this one now too.
  parts.flags |= other.flags & kPathNoMemory;
  PathReset(other);
  return FlagError::None;
}

PathComposeResult PathCompose(const PathParts& parts, char* buffer, uint32_t size, uint32_t mask) {
  Output out{buffer, size};
  out.full = (size == 0);
  uint32_t present = parts.flags & mask;

  if ((present & kPathDrive) && parts.driveLetter != 0) {
    out.Put(parts.driveLetter);
    if (!out.full) out.Put(':');
  }
  if ((present & kPathDirectory) && !out.full) {
    if (parts.directoryLength == 0) {
      if (parts.flags & kPathRooted) out.Put('\\');
    } else {
      out.Put(parts.directory, parts.directory == nullptr ? 0 : parts.directoryLength);
    }
  }
  // Separators are written only after something: a "\" in front of a bare file name, or
  // as the whole text, would turn a relative path into one at the root of the drive.
  bool fileFollows = (present & (kPathFileName | kPathDot | kPathExtension)) != 0;
  if (fileFollows && !out.full && out.used != 0 && out.Last() != '\\' && out.Last() != ':') {
    out.Put('\\');
  }
  if ((present & kPathFileName) && !out.full) {
    out.Put(parts.fileName, parts.fileName == nullptr ? 0 : parts.fileNameLength);
  }
  if ((present & kPathDot) && parts.dot != 0 && !out.full) out.Put(parts.dot);
  if ((present & kPathExtension) && !out.full) {
    out.Put(parts.extension, parts.extension == nullptr ? 0 : parts.extensionLength);
  }
  if ((mask & kPathFinalSeparator) && !out.full && out.used != 0 && out.Last() != '\\' &&
      out.Last() != ':') {
    out.Put('\\');
  }
  if (out.full) return PathComposeResult::Full;
  buffer[out.used] = '\0';
  return PathComposeResult::Written;
}

bool PathIsValidDirectory(const PathParts& parts) {
  return (parts.flags & kBreakRules) == 0 && (parts.flags & (kPathDirectory | kPathFileName)) != 0;
}

bool PathIsValidFile(const PathParts& parts) {
  return (parts.flags & kBreakRules) == 0 && (parts.flags & kPathFileName) != 0;
}
