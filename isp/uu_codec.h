// The UU text lines that carry data in the boot ROM's read and write commands.
//
// A line is one length character (n + 0x20, with 0 written as the grave accent) and four
// characters for every three data bytes, each standing for six bits (v + 0x20, with 0
// written as the grave accent). 45 data bytes make the longest line, 61 characters.
#pragma once

#include <cstdint>

constexpr int kUuLineBytes = 45;
constexpr int kUuLineChars = 61;
// Room for the longest line and its terminating NUL.
constexpr int kUuLineBuffer = kUuLineChars + 1;

// The lines that carry count bytes, the last one possibly short.
constexpr uint32_t UuLinesFor(uint32_t count) { return (count + kUuLineBytes - 1) / kUuLineBytes; }

// Writes one UU line of n (0 to 45) bytes into output (kUuLineBuffer bytes),
// NUL-terminated, without a line end.
void UuEncodeLine(char* output, const uint8_t* source, int n);

// Decodes one UU line into output, at most m bytes; returns the count written (the line's
// own count, limited to m). Characters missing from a short line count as zero bits.
int UuDecodeLine(uint8_t* output, const char* line, int m);
