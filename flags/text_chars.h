// The two character tests that the flag library reads a command line with.
//
// They take the char as it is: the C library's isspace and toupper depend on the locale
// and want a value that fits an unsigned char, so a byte above 0x7F in a command line
// would be undefined there. Here it is plain data, neither white space nor a letter.
#pragma once

// The blank and the control characters from TAB to CR, as isspace in the C locale.
inline bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

inline char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
