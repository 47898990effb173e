// Unbuffered, unechoed key input from the console.
//
// On Windows these are the console's _kbhit and _getch. On POSIX the terminal is put in a
// raw, no-echo mode for the life of the program (and always restored); when standard
// input is not a terminal, its bytes are the keys. End of input never blocks: ReadKey
// then returns -1 at once, which the callers take as "no" or "end".
#pragma once

// Puts the console into single-key mode now (the key reads also do it on first use).
// Done at start-up, so that a key typed at the first prompt is never echoed by the
// terminal before the program is ready for it.
void PrepareConsoleKeys();

// Nonzero when a key (or the end of input) is waiting.
int KeyWaiting();
// The next key code, waiting for it; -1 at the end of input.
int ReadKey();

// Function and arrow keys reach the program as two codes: 0 or 0xE0 first (the Windows
// console's prefixes), then the key's own code.
constexpr int kExtendedKey = 0x100;
// The next whole key, waiting for it: a one-code key as ReadKey gives it, a two-code key
// as kExtendedKey | its second code, so that its codes are never taken as two keys; -1
// at the end of input. Every reader of keys takes them through this.
int ReadWholeKey();

// The stretch of an update during which the switch's flash is being rewritten. Ending
// the program meanwhile (Ctrl-C, Ctrl-Break, closing the console window or the terminal)
// prints kInterruptedLine first; outside it the program ends as it always has.
void SetProgrammingUnderway(bool underway);
bool ProgrammingUnderway();
extern const char kInterruptedLine[];
