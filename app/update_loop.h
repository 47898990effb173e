// The update loop: identify the switch again, let the user confirm, program it, then
// follow its console until it has finished its own post-update work.
#pragma once

// Never returns; every path ends in ExitProgram.
[[noreturn]] void RunUpdateLoop();

// The wait after a successful programming: follows the switch's console, one pass a
// millisecond, until it reports ready ("=P"; true) or 13 s pass without a DSP progress
// line, counted from the call or from the last such line (false, once the technician has
// been told to power-cycle the switch). Keys pressed meanwhile are dropped.
bool AwaitSwitchReady();
