// Reading a dotted IPv4 address ("192.168.1.239") from text.
//
// The text is untrusted (a test, and one day perhaps a user, aims the probe with it), so
// the reader is strict: exactly four decimal numbers from 0 to 255, each of one to three
// digits, separated by single dots, and nothing before or after. The system's lenient
// readers also take "127.1", hexadecimal and octal parts ("010" is 8 to them); those
// forms are refused here rather than guessed at, so that a text that does not read
// cleanly connects nowhere instead of to some other address.
#pragma once

#include <cstdint>

// True, with *address the address in host order (192.168.1.239 is 0xC0A801EF), when text
// is a dotted IPv4 address; false otherwise, and then *address is left as it was. A null
// text is no address.
bool ParseIpv4Address(const char* text, uint32_t* address);
