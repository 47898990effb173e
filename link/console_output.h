// What the program prints: the output half of the console, behind the same seam as the
// port, the clock and the keys.
//
// Every text the utility shows goes through ConsoleWrite: the OS halves write it to
// standard output, and the scripted half of the tests records it, as it records what the
// program writes to the port.
#pragma once

#include <cstddef>

// Shows length bytes of text on the console at once: nothing is left in a buffer, so a
// prompt or a progress line is on the screen before the program goes on to wait.
void ConsoleWrite(const char* text, size_t length);
