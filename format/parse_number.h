// Reading numbers out of text that came from the switch, the keyboard or the command line.
//
// The switch's replies and the command line are read the way the C library's strtoul and
// strtol read them, but always with a 32-bit result, so that the Windows build (32-bit
// long) and the Linux build (64-bit long) see the same values for the same bytes.
#pragma once

#include <cstdint>

// Like strtoul with a 32-bit result: leading white space, an optional sign ('-' negates
// modulo 2^32), base 0 accepts "0x" hexadecimal and a leading "0" octal, base 16 accepts
// an optional "0x". No digits: 0, and *end == text. A value above 32 bits: 0xFFFFFFFF.
// end may be null.
uint32_t ParseUnsigned32(const char* text, const char** end, int base);

// Like strtol with a 32-bit result: saturates at INT32_MIN / INT32_MAX.
int32_t ParseSigned32(const char* text, const char** end, int base);
