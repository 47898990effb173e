// The driver: start-up, port scan, update loop and the single way out of the program.
#pragma once

#include <cstdint>

#include "image/firmware_image.h"

// Driver state, one instance for the whole run.
extern int32_t portNumber;   // the port being tried; after the scan, the port in use
extern int32_t firstPort;    // scan range
extern int32_t lastPort;
extern bool singlePortGiven;  // the command line named a port
extern FirmwareImage selectedImage;
// Set when the scan found a switch that matches selectedImage. A port named on the
// command line reaches the update loop without a match too.
extern bool imageMatchedSwitch;

// The program's entry: banner, arguments, image check, then scan and update loop.
// Never returns; every path ends in ExitProgram.
[[noreturn]] void TqupdMain(int argc, char** argv);

// Closes the port, shows "Press any key to exit...", waits for a key and ends the
// process with status. Every call in the program passes 1.
[[noreturn]] void ExitProgram(int status);

void PrintBanner();

// The port scan: returns with a switch on an open port, or ends the program.
void RunPortScan();
// The update loop: never returns.
[[noreturn]] void RunUpdateLoop();

// Selects image entry index of imageTable into selectedImage (image, imageLength).
void SelectImage(int index);
