#include "app/startup.h"

#include "app/driver_state.h"
#include "app/port_scan.h"
#include "app/program_version.h"
#include "app/update_loop.h"
#include "format/parse_number.h"
#include "image/image_table.h"
#include "isp/programming.h"
#include "link/console_keys.h"
#include "link/link_io.h"

namespace {

void PrintBanner() {
  PrintString("Halvek / Tessary firmware update utility. Version " TQUPD_PROGRAM_VERSION);
  PrintString("\n(c) Halvek Audio Systems. All rights reserved.\n");
}

void PrintUsage() {
  PrintString("\nUse: TQUPD [x]\n");
  PrintString("\nWhere:");
  PrintString("\n   x    = Optional, If not 0, then this is a comport number between 1 and 99,");
  PrintString("\n          otherwise searches COM1 - COM16.");
}

}  // namespace

void TqupdMain(int argc, char** argv) {
  PrepareConsoleKeys();
  PrintString("\n");
  PrintBanner();
  if (argc > 2) {
    PrintUsage();
    ExitProgram(1);
  }
  for (int i = 0; i < kImageTableCount; ++i) {
    ImageCheck check = SelectImage(i, "Firmware");
    if (check == ImageCheck::Absent) continue;
    if (check != ImageCheck::Valid) ExitProgram(1);
    // The image never changes: one that the block scheme cannot write is refused here,
    // once, instead of on every pass of the update loop.
    if (!ImageFitsBlockScheme("Firmware", &selectedImage)) ExitProgram(1);
    PrintString("Firmware validated.\n");
  }
  if (argc == 2) {
    // Read as an unsigned number, kept as a signed one: "-1" becomes 4294967295, which
    // is out of range and is shown as such.
    int32_t value = static_cast<int32_t>(ParseUnsigned32(argv[1], nullptr, 10));
    if (value != 0 && (value < 1 || value > 99)) {
      PrintFormatted(
          "\nCOM%u is an invalid COM port number.\nChoose a COM port number between 1 and 99\n",
          value);
      ExitProgram(1);
    }
    if (value != 0) {
      firstPort = lastPort = value;
      singlePortGiven = true;
    }
  }
  RunPortScan();
  RunUpdateLoop();
}
