// Link I/O helpers over linkPort and standard output: sending text and bytes, sending
// and printing text built by the format engine, discarding stale input, and reading one
// reply line within 500 ms.
#pragma once

#include <cstdint>

#include "link/clock.h"

int SendString(const char* text);            // one Write of the text without its NUL
int SendChar(int ch);                        // one Write of the character's low 8 bits
int SendFormatted(const char* format, ...);  // the whole formatted line in one Write
int PrintChar(int ch);
void PrintString(const char* text);
int PrintFormatted(const char* format, ...);

// Reads and discards received bytes, one at a time, until BytesWaiting reports none, or
// until more than kFlushLimitMs have passed since the call began on a line that never
// falls quiet; what is left then stays queued for the caller's line reader.
void FlushInput();

// Reads one line that ends in one of the characters of terminators, storing only the
// characters 0x20 to 0x7F, NUL-terminated. Returns the count stored, or -1 with an empty
// buffer when 500 ms passed (counted from the start of the call) or max characters
// arrived before a terminator. Bytes after the terminator stay queued.
int ReadLine(char* buffer, int32_t max, const char* terminators);
int ReadLineCR(char* buffer, int32_t max);
int ReadLineDollar(char* buffer, int32_t max);

// How long ReadLine waits for a line, in ms.
constexpr uint32_t kLineTimeoutMs = 500;
// How long FlushInput goes on discarding, in ms: the time of one reply line.
constexpr uint32_t kFlushLimitMs = kLineTimeoutMs;
