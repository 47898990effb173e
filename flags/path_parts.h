// Splitting a Windows-style path ("C:\dir\sub\name.ext") into its parts.
//
// The parser records which parts a text has and which rules it breaks as bits in
// PathParts::flags; nothing is reported directly, and nothing touches the file system.
// Callers judge a result with PathIsValidDirectory or PathIsValidFile. The copying parse
// keeps owned copies of the directory, file name and extension, which PathMerge can move
// between two results and PathCompose writes back into a bounded buffer.
#pragma once

#include <cstdint>

#include "flags/flag_error.h"

// Bits of PathParts::flags. PathCompose takes the same bits as its mask, plus
// kPathFinalSeparator.
constexpr uint32_t kPathInvalid = 0x1;
constexpr uint32_t kPathDrive = 0x2;
constexpr uint32_t kPathDirectory = 0x4;
constexpr uint32_t kPathFileName = 0x8;
constexpr uint32_t kPathDot = 0x10;
constexpr uint32_t kPathExtension = 0x20;
constexpr uint32_t kPathRooted = 0x40;         // the directory starts with "\"
constexpr uint32_t kPathWildcard = 0x80;       // "*" or "?" in the current component
constexpr uint32_t kPathColon = 0x100;         // a ":" after the drive prefix
constexpr uint32_t kPathBadCharacter = 0x200;  // stopped at a character that is no stop character
constexpr uint32_t kPathDotsOnly = 0x400;      // a component of dots only, such as "." or ".."
constexpr uint32_t kPathNoMemory = 0x800;      // a copy could not be allocated
constexpr uint32_t kPathFinalSeparator = 0x1000;  // PathCompose mask only: end with "\"

// One parsed path. The pointers ending in Start, drive, lastDot and position point into
// the parsed text and are only good while it lives; directory, fileName and extension are
// owned copies (not NUL-terminated, exactly their lengths long), made by the copying parse.
struct PathParts {
  uint32_t flags = 0;
  char driveLetter = 0;
  const char* drive = nullptr;
  char* directory = nullptr;
  const char* directoryStart = nullptr;
  char* fileName = nullptr;
  const char* fileNameStart = nullptr;
  char dot = 0;
  const char* lastDot = nullptr;
  char* extension = nullptr;
  const char* extensionStart = nullptr;
  const char* position = nullptr;
  uint32_t driveCount = 0;
  uint32_t directoryLength = 0;
  uint32_t fileNameLength = 0;
  int32_t dotCount = 0;
  uint32_t extensionLength = 0;

  PathParts() = default;
  // The copies are owned: a PathParts frees them when it goes, and is never copied (two
  // owners of one copy would free it twice).
  ~PathParts();
  PathParts(const PathParts&) = delete;
  PathParts& operator=(const PathParts&) = delete;
};

// Puts parts into the initial state without freeing anything: for storage whose copies
// are not (or no longer) owned.
void PathClear(PathParts& parts);
// Frees the copies, then clears.
void PathReset(PathParts& parts);

// Parses text (null or empty: invalid). With fileAllowed 1 the last component may be a
// file name; with 0 the whole text is a directory. stop is a set of characters that end
// the path besides the end of the text (may be null). Frees any earlier copies; makes no
// new ones. Returns where parsing stopped (also parts.position).
const char* PathParse(PathParts& parts, const char* text, int fileAllowed, const char* stop);
// PathParse, then copies of the directory, file name and extension, the drive letter and
// the dot character. A part that is absent or empty gets no copy; a failed allocation sets
// kPathNoMemory and leaves that copy null.
const char* PathParseCopy(PathParts& parts, const char* text, int fileAllowed, const char* stop);
// PathParseCopy without a stop set.
const char* PathParseText(PathParts& parts, const char* text, int fileAllowed);

// Fills the parts that parts lacks from a second path: drive, directory (with its rooted
// bit), file name, and the dot together with the extension. Moved copies change owner.
// Returns None, or the flag library's PathSyntax when the second path is invalid, so that
// a caller can report the result as it stands; an invalid path lends nothing.
FlagError PathMerge(PathParts& parts, const char* text, int fileAllowed, const char* stop);

enum class PathComposeResult : int {
  Written = 0,  // the whole text, terminated
  Full = 1,     // the text filled the buffer: it is cut and carries no terminator
};
// Writes the parts that mask selects and parts has, from the drive letter and the copies,
// into buffer (size bytes) and terminates it.
PathComposeResult PathCompose(const PathParts& parts, char* buffer, uint32_t size, uint32_t mask);

// A usable directory: no invalid, wildcard, colon or bad-character bit, and a directory or
// a file name (which names the directory's last component).
bool PathIsValidDirectory(const PathParts& parts);
// A usable file name: no invalid, wildcard, colon or bad-character bit, and a file name.
bool PathIsValidFile(const PathParts& parts);
