#include "flags/path_parts.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Part(const char* start, uint32_t length) {
  return start == nullptr ? std::string() : std::string(start, length);
}

struct ParseCase {
  const char* text;
  int fileAllowed;
  const char* stop;
  uint32_t flags;
  const char* drive;  // "" when none
  const char* directory;
  const char* fileName;
  const char* extension;
  int stoppedAt;
};

// file allowed = 1 unless the second column says 0.
const ParseCase kParseCases[] = {
    {"C:\\dir\\sub\\file.txt", 1, nullptr, 0x7E, "C", "\\dir\\sub", "file", "txt", 19},
    {"a.b.c", 1, nullptr, 0x38, "", "", "a.b", "c", 5},
    {".cfg", 1, nullptr, 0x30, "", "", "", "cfg", 4},
    {"dir\\", 1, nullptr, 0x04, "", "dir", "", "", 4},
    {"x*.txt", 1, nullptr, 0xB8, "", "", "x*", "txt", 6},
    {"a|b", 1, nullptr, 0x208, "", "", "a", "", 1},
    {"C:", 1, nullptr, 0x02, "C", "", "", "", 2},
    {"1:\\x", 1, nullptr, 0x01, "", "", "", "", 0},
    {"c:\\x", 1, nullptr, 0x4E, "c", "", "x", "", 4},
    {"C:a:b", 1, nullptr, 0x10E, "C", "a", "b", "", 5},
    {"C:\\a:b\\c", 1, nullptr, 0x4F, "C", "\\a:b", "c", "", 8},
    {"..\\x", 1, nullptr, 0x0C, "", "..", "x", "", 4},
    {".", 1, nullptr, 0x408, "", "", ".", "", 1},
    {"..cfg", 1, nullptr, 0x38, "", "", ".", "cfg", 5},
    {"a.", 1, nullptr, 0x18, "", "", "a", "", 2},
    {"dir\\name.ext", 0, nullptr, 0x04, "", "dir\\name.ext", "", "", 12},
    {"x*", 0, nullptr, 0x85, "", "x*", "", "", 2},
    {"x?\\y", 1, nullptr, 0x0D, "", "x?", "y", "", 4},
    {"\\", 1, nullptr, 0x44, "", "", "", "", 1},
    {"", 1, nullptr, 0x01, "", "", "", "", 0},
    {nullptr, 1, nullptr, 0x01, "", "", "", "", 0},
    {"name.ext /rest", 1, "/ \t\n", 0x38, "", "", "name", "ext", 8},
    // Without a stop set a blank is a name character.
    {"name.ext /rest", 1, nullptr, 0x238, "", "", "name", "ext ", 9},
    {"a\xE9", 1, nullptr, 0x208, "", "", "a", "", 1},
    // The extension is what follows the last dot.
    {"a.b.", 1, nullptr, 0x18, "", "", "a.b", "", 4},
    // After a colon the file name starts anew; the dot before it is the directory's.
    {"a.b:c", 1, nullptr, 0x10C, "", "a.b", "c", "", 5},
    {"a.b:", 1, nullptr, 0x104, "", "a.b", "", "", 4},
};

TEST(PathParse, SplitsDriveDirectoryNameAndExtension) {
  for (const ParseCase& c : kParseCases) {
    PathParts parts;
    const char* end = PathParse(parts, c.text, c.fileAllowed, c.stop);
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parts.flags, c.flags);
    EXPECT_EQ(Part(parts.drive, parts.driveCount), c.drive);
    EXPECT_EQ(parts.driveCount, c.drive[0] != '\0' ? 1u : 0u);
    EXPECT_EQ(Part(parts.directoryStart, parts.directoryLength), c.directory);
    EXPECT_EQ(Part(parts.fileNameStart, parts.fileNameLength), c.fileName);
    EXPECT_EQ(Part(parts.extensionStart, parts.extensionLength), c.extension);
    EXPECT_EQ(parts.dotCount, (c.flags & kPathDot) ? 1 : 0);
    EXPECT_EQ(end - c.text, c.stoppedAt);
    EXPECT_EQ(parts.position, end);
    EXPECT_EQ(parts.directory, nullptr);  // PathParse makes no copies
  }
}

TEST(PathParseCopy, CopiesEachPartOfExactlyItsLength) {
  for (const ParseCase& c : kParseCases) {
    PathParts parts;
    PathParseCopy(parts, c.text, c.fileAllowed, c.stop);
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parts.driveLetter, c.drive[0]);
    EXPECT_EQ(Part(parts.directory, parts.directoryLength), c.directory);
    EXPECT_EQ(Part(parts.fileName, parts.fileNameLength), c.fileName);
    EXPECT_EQ(Part(parts.extension, parts.extensionLength), c.extension);
    EXPECT_EQ(parts.dot, (c.flags & kPathDot) ? '.' : '\0');
    EXPECT_EQ(parts.flags & kPathNoMemory, 0u);
  }
}

TEST(PathParse, DropsTheCopiesOfTheEarlierParse) {
  PathParts parts;
  PathParseText(parts, "C:\\dir\\file.txt", 1);
  ASSERT_NE(parts.fileName, nullptr);
  PathParse(parts, "x", 1, nullptr);  // frees them: the leak checker watches this
  EXPECT_EQ(parts.directory, nullptr);
  EXPECT_EQ(parts.fileName, nullptr);
  EXPECT_EQ(parts.extension, nullptr);
  EXPECT_EQ(parts.driveLetter, '\0');
}

TEST(PathIsValid, JudgesFilesAndDirectories) {
  struct Case {
    const char* text;
    int fileAllowed;
    bool file;
    bool directory;
  } cases[] = {
      {"C:\\dir\\file.txt", 1, true, true},
      {"dir\\", 1, false, true},
      {"C:\\", 1, false, true},
      {"C:", 1, false, false},
      {"x*.txt", 1, false, false},
      {"a|b", 1, false, false},
      {"C:a:b", 1, false, false},
      {"C:\\a:b\\c", 1, false, false},
      {"c:\\dir\\sub", 0, false, true},
      {"c:\\d*", 0, false, false},
  };
  for (const Case& c : cases) {
    PathParts parts;
    PathParse(parts, c.text, c.fileAllowed, nullptr);
    EXPECT_EQ(PathIsValidFile(parts), c.file) << c.text;
    EXPECT_EQ(PathIsValidDirectory(parts), c.directory) << c.text;
  }
}

constexpr uint32_t kAllParts =
    kPathDrive | kPathDirectory | kPathFileName | kPathDot | kPathExtension;

TEST(PathCompose, WritesTheSelectedPartsWithSeparators) {
  struct Case {
    const char* text;
    uint32_t mask;
    const char* expected;
  } cases[] = {
      {"C:\\dir\\file.txt", kAllParts, "C:\\dir\\file.txt"},
      {"C:\\dir\\file.txt", kPathDirectory | kPathFileName, "\\dir\\file"},
      {"C:\\dir\\file.txt", kPathFileName | kPathDot | kPathExtension, "file.txt"},
      {"C:\\dir\\file.txt", kPathDrive | kPathDirectory | kPathFinalSeparator, "C:\\dir\\"},
      {"C:\\dir\\file.txt", 0, ""},
      {"C:file", kAllParts, "C:file"},
      {"C:\\", kAllParts, "C:\\"},
      {"C:\\", kAllParts | kPathFinalSeparator, "C:\\"},
      {"C:", kAllParts | kPathFinalSeparator, "C:"},
      {"dir\\sub\\", kAllParts | kPathFinalSeparator, "dir\\sub\\"},
      // Nothing written yet: no separator, which would make the path rooted.
      {"file.txt", kAllParts, "file.txt"},
      {"", kAllParts | kPathFinalSeparator, ""},
  };
  for (const Case& c : cases) {
    PathParts parts;
    PathParseText(parts, c.text, 1);
    char buffer[64];
    EXPECT_EQ(PathCompose(parts, buffer, sizeof buffer, c.mask), PathComposeResult::Written)
        << c.text;
    EXPECT_STREQ(buffer, c.expected) << c.text;
  }
}

TEST(PathCompose, CutsTheTextAndLeavesItUnterminatedWhenTheBufferFills) {
  PathParts parts;
  PathParseText(parts, "C:\\dir\\file.txt", 1);
  struct Case {
    uint32_t size;
    PathComposeResult result;
    const char* expected;  // the bytes written
  } cases[] = {
      {16, PathComposeResult::Written, "C:\\dir\\file.txt"},  // 15 characters and the terminator
      {15, PathComposeResult::Full, "C:\\dir\\file.txt"},
      {4, PathComposeResult::Full, "C:\\d"},
      {2, PathComposeResult::Full, "C:"},
      {1, PathComposeResult::Full, "C"},  // the colon only when room remains
      {0, PathComposeResult::Full, ""},
  };
  for (const Case& c : cases) {
    char buffer[20];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(PathCompose(parts, buffer, c.size, kAllParts), c.result) << c.size;
    size_t length = std::strlen(c.expected);
    EXPECT_EQ(std::string(buffer, length), c.expected) << c.size;
    // No terminator when full.
    EXPECT_EQ(buffer[length], c.result == PathComposeResult::Written ? '\0' : '#') << c.size;
  }
}

TEST(PathMerge, FillsOnlyTheMissingPartsFromTheSecondPath) {
  struct Case {
    const char* first;
    const char* second;
    FlagError result;
    const char* expected;
  } cases[] = {
      {"file.txt", "D:\\base\\x.bak", FlagError::None, "D:\\base\\file.txt"},
      {"file", "D:\\base\\x.bak", FlagError::None, "D:\\base\\file.bak"},
      // The rooted bit comes with the directory.
      {"file.txt", "D:\\x.bak", FlagError::None, "D:\\file.txt"},
      {"C:\\a\\", "D:\\b\\x.bak", FlagError::None, "C:\\a\\x.bak"},
      {"file.", "x.bak", FlagError::None, "file."},  // the extension comes only with a dot
      {"", "C:\\x.y", FlagError::None, "C:\\x.y"},
      // An invalid path lends nothing.
      {"file.txt", "D:\\ba*\\x", FlagError::PathSyntax, "file.txt"},
  };
  for (const Case& c : cases) {
    PathParts parts;
    PathParseText(parts, c.first, 1);
    EXPECT_EQ(PathMerge(parts, c.second, 1, nullptr), c.result) << c.first;
    char buffer[64];
    ASSERT_EQ(PathCompose(parts, buffer, sizeof buffer, kAllParts), PathComposeResult::Written);
    EXPECT_STREQ(buffer, c.expected) << c.first << " + " << c.second;
  }
}

}  // namespace
