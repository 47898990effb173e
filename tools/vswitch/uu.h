// UU text lines, the form in which the boot ROM's W and R commands carry data.
//
// A line holds up to 45 bytes: one length character (count + 0x20), then four characters
// per group of three bytes, six bits each, every value written as value + 0x20 except 0,
// which is written as the grave accent. A short last group is padded with zero bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr size_t kUuLineBytes = 45;

// One line of n bytes (n at most 45), without a line end. The ROM sends zero values as
// the grave accent, never as a blank.
std::string UuEncodeLine(const uint8_t* data, size_t n);

// Decodes one line and appends its bytes to out. Blank and grave accent both count as
// zero. False, with nothing appended, when the line is not a well-formed UU line: a
// length above 45, characters outside the UU alphabet, or fewer characters than the
// length needs. Characters after the last needed group are ignored.
bool UuDecodeLine(std::string_view line, std::vector<uint8_t>* out);
