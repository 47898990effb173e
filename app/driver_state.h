// The driver's state for the whole run, the image it works with, and the single way out of
// the program. Start-up, the port scan and the update loop all build on this file; it
// calls none of them.
#pragma once

#include <cstdint>

#include "image/firmware_image.h"

// Driver state, one instance for the whole run.
extern int32_t portNumber;  // the port being tried; after the scan, the port in use
extern int32_t firstPort;   // scan range
extern int32_t lastPort;
extern bool singlePortGiven;  // the command line named a port
extern FirmwareImage selectedImage;
// Set when the scan found a switch that matches selectedImage. A port named on the
// command line reaches the update loop without a match too.
extern bool imageMatchedSwitch;

// Puts the driver's state back as the program starts with it: no port yet, the search's
// range COM1 to COM16, no port named, no image selected, no match.
void ResetDriverState();

// Puts the whole program back to its start state, each subsystem through its own
// start-state function: the link closed (CloseLink), identification and the boot-loader
// mode (ResetIdentification), the console monitor (ResetConsoleMonitor) and the driver
// (ResetDriverState). The one call for whatever runs the program more than once in a
// process, as the tests do.
void ResetProgram();

// Loads carried image index into selectedImage and validates it (see LoadCarriedImage).
ImageCheck SelectImage(int index, const char* label);

// Closes the port, shows "Press any key to exit...", waits for a key and ends the
// process with status. Every call in the program passes 1.
[[noreturn]] void ExitProgram(int status);
