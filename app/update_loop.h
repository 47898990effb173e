// The update loop: identify the switch again, let the user confirm, program it, then
// follow its console until it has finished its own post-update work.
#pragma once

// Never returns; every path ends in ExitProgram.
[[noreturn]] void RunUpdateLoop();
