// The program's entry: banner, arguments, the check of the carried images, then the port
// scan and the update loop.
#pragma once

// Never returns; every path ends in ExitProgram.
[[noreturn]] void TqupdMain(int argc, char** argv);
