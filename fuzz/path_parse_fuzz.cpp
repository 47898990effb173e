// Fuzzes the path parser with arbitrary paths, stop sets and compose buffers.
//
// Input: one mode byte, then up to three texts separated by NUL bytes: a stop set, the
// path, and a second path to merge. Mode bit 0 is "file allowed", bit 1 takes the stop set
// from the input, bit 2 the flag library's "/ \t\n"; the upper five bits are the size of
// the compose buffer. Besides the sanitizers' checks, every part the parser reports must
// lie inside the text, before where parsing stopped.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "flags/path_parts.h"

namespace {

void Check(bool holds) {
  if (!holds) std::abort();
}

void CheckPart(const char* text, const char* end, const char* start, uint32_t length) {
  if (start == nullptr) return;
  Check(start >= text && start <= end);
  Check(length <= static_cast<size_t>(end - start));
}

void CheckParts(const PathParts& parts, const char* text) {
  if (text == nullptr) return;
  const char* end = parts.position;
  Check(end >= text && end <= text + std::strlen(text));
  CheckPart(text, end, parts.drive, parts.driveCount != 0 ? 2 : 0);
  CheckPart(text, end, parts.directoryStart, parts.directoryLength);
  CheckPart(text, end, parts.fileNameStart, parts.fileNameLength);
  CheckPart(text, end, parts.extensionStart, parts.extensionLength);
  CheckPart(text, end, parts.lastDot, parts.dotCount != 0 ? 1 : 0);
  if (parts.directoryStart != nullptr) {
    uint64_t total = uint64_t{parts.directoryLength} + parts.fileNameLength +
                     static_cast<uint32_t>(parts.dotCount) + parts.extensionLength;
    Check(total <= static_cast<uint64_t>(end - parts.directoryStart));
  }
}

void Compose(const PathParts& parts, uint32_t size) {
  // Exactly size bytes, so that AddressSanitizer sees a write past the end.
  std::unique_ptr<char[]> buffer(new char[size == 0 ? 1 : size]);
  const uint32_t mask = 0x103F;
  if (PathCompose(parts, buffer.get(), size, mask) == PathComposeResult::Written) {
    Check(std::memchr(buffer.get(), '\0', size) != nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t mode = data[0];
  std::vector<std::string> texts(1);
  for (size_t i = 1; i < size; ++i) {
    if (data[i] == 0 && texts.size() < 3) {
      texts.emplace_back();
    } else {
      texts.back() += static_cast<char>(data[i]);
    }
  }
  texts.resize(3);
  const int fileAllowed = mode & 1;
  const char* stop = (mode & 2) ? texts[0].c_str() : (mode & 4) ? "/ \t\n" : nullptr;
  const char* text = texts[1].c_str();
  const uint32_t composeSize = mode >> 3;

  PathParts parts;
  PathParse(parts, text, fileAllowed, stop);
  CheckParts(parts, text);

  PathParseCopy(parts, text, fileAllowed, stop);
  CheckParts(parts, text);
  if (parts.directory != nullptr) {
    Check(std::memcmp(parts.directory, parts.directoryStart, parts.directoryLength) == 0);
  }
  if (parts.fileName != nullptr) {
    Check(std::memcmp(parts.fileName, parts.fileNameStart, parts.fileNameLength) == 0);
  }
  if (parts.extension != nullptr) {
    Check(std::memcmp(parts.extension, parts.extensionStart, parts.extensionLength) == 0);
  }
  Compose(parts, composeSize);

  PathMerge(parts, texts[2].c_str(), fileAllowed, stop);
  Compose(parts, composeSize);
  Compose(parts, 300);
  return 0;
}
