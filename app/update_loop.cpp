#include "app/update_loop.h"

#include "app/driver_state.h"
#include "image/catalogue.h"
#include "image/device_info.h"
#include "image/identify.h"
#include "image/version_decision.h"
#include "isp/programming.h"
#include "link/console_keys.h"
#include "link/link_io.h"
#include "link/serial_port.h"
#include "monitor/console_monitor.h"

namespace {

// How long the switch may stay silent about its DSPs after programming before the user
// is told to power-cycle it.
constexpr uint32_t kProgressTimeoutMs = 13000;
// One pass a millisecond: the switch's console bytes are taken while they come, and the
// processor is given away between passes.
constexpr uint32_t kPassMs = 1;

// What every pass does besides its own work: the switch's console bytes go to the
// console monitor, and a key pressed meanwhile is dropped, so that an early key cannot
// answer a later prompt.
void FollowConsoleAndDropKeys() {
  for (int32_t n = linkPort.BytesWaiting(); n > 0; --n) {
    uint8_t byte;
    if (linkPort.Read(&byte, 1) != 1) break;
    FeedConsoleByte(byte);
  }
  if (KeyWaiting()) ReadWholeKey();
}

}  // namespace

bool AwaitSwitchReady() {
  lastProgressTime = ClockMs();
  for (;;) {
    SleepMs(kPassMs);
    if (ElapsedMs(lastProgressTime, kProgressTimeoutMs) || deviceReady) {
      if (!deviceReady) {
        PrintString("\nFirmware update complete, please power cycle the switch.\n");
      }
      return deviceReady != 0;
    }
    FollowConsoleAndDropKeys();
  }
}

void RunUpdateLoop() {
  for (;;) {
    SleepMs(kPassMs);
    FollowConsoleAndDropKeys();

    DetectResult detected = DetectDevice();
    // A switch that cannot be identified is looked at again on the next pass: it has
    // been reported once, and it may yet become one that can (it is not offered an update).
    if (detected == DetectResult::Unidentifiable) continue;
    if (detected != DetectResult::Identified) {
      PrintFormatted("\nNo Halvek device found on COM%u.\n", portNumber);
      ExitProgram(1);
    }
    if (FindModelName(deviceInfo.family, deviceInfo.modelIndex) == nullptr) {
      PrintFormatted(
          "\nThe device on COM%u not compatible with this update.\nProduct name: \"%s\"\n",
          portNumber, deviceInfo.productName);
      ExitProgram(1);
    }
    Compatibility code = CheckCompatibility(&deviceInfo, &selectedImage);
    if (code != Compatibility::Compatible) {
      ReportIncompatibility(code, &deviceInfo, &selectedImage);
      // A switch that the scan matched and that no longer fits was changed under us:
      // look again. One that never matched (a port named on the command line) will not
      // change by itself: the technician has been told why, and the run ends.
      if (!imageMatchedSwitch) ExitProgram(1);
      continue;
    }
    if (!DecideUpdate(&deviceInfo, &selectedImage, true, true, true)) ExitProgram(1);
    deviceReady = 0;
    if (UpdateFirmware(&selectedImage) == UpdateResult::Updated) {
      // The new firmware reloads its DSPs and then reports ready; either way the run ends.
      AwaitSwitchReady();
      ExitProgram(1);
    }
  }
}
