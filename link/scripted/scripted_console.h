// What the program printed, recorded by the scripted half of the console for the tests,
// as the scripted line records what it wrote to the port. A test program links this
// half (tqupd_console_scripted) instead of an OS one, whatever port it talks to.
#pragma once

#include <string>

// Everything printed since the last call, which starts the record over.
std::string ScriptedPrinted();
// Forgets what was printed: the console's start state.
void ScriptedConsoleReset();
