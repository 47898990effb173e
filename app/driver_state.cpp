#include "app/driver_state.h"

#include <cstdlib>

#include "image/identify.h"
#include "link/console_keys.h"
#include "link/link_io.h"
#include "link/serial_port.h"
#include "monitor/console_monitor.h"

int32_t portNumber = 0;
int32_t firstPort = 1;
int32_t lastPort = 16;
bool singlePortGiven = false;
FirmwareImage selectedImage = {};
bool imageMatchedSwitch = false;

void ResetDriverState() {
  portNumber = 0;
  firstPort = 1;
  lastPort = 16;
  singlePortGiven = false;
  selectedImage = {};
  imageMatchedSwitch = false;
}

void ResetProgram() {
  CloseLink();
  ResetIdentification();
  ResetConsoleMonitor();
  ResetDriverState();
}

ImageCheck SelectImage(int index, const char* label) {
  return LoadCarriedImage(index, label, &selectedImage);
}

void ExitProgram(int status) {
  CloseLink();
  PrintString("\nPress any key to exit...");
  // An extended key (function or arrow key) is one key, both its codes taken.
  ReadWholeKey();
  PrintString("\n");
  exit(status);
}
