#include "app/port_scan.h"

#include "app/driver_state.h"
#include "image/device_info.h"
#include "image/identify.h"
#include "image/image_table.h"
#include "image/version_decision.h"
#include "link/link_io.h"
#include "link/serial_port.h"

namespace {

// Selects carried image index; an image that no longer validates ends the program (the
// carried bytes never change, so this cannot happen once start-up has passed them).
// False for an empty entry.
bool SelectValidImage(int index) {
  ImageCheck check = SelectImage(index, "");
  if (check == ImageCheck::Absent) return false;
  if (check != ImageCheck::Valid) {
    PrintString("This firmware file is corrupt! Try re-downloading file.\n");
    ExitProgram(1);
  }
  return true;
}

// Selects the first image the build carries.
void SelectFirstImage() {
  for (int i = 0; i < kImageTableCount; ++i) {
    if (SelectValidImage(i)) return;
  }
}

// True when the switch of deviceInfo matches an image; selectedImage is then that image.
bool MatchImage() {
  for (int i = 0; i < kImageTableCount; ++i) {
    if (!SelectValidImage(i)) continue;
    const ImageHeader& h = *selectedImage.header;
    if (h.totalLength != 0 && h.family == deviceInfo.family &&
        h.modelIndex == deviceInfo.modelIndex) {
      return true;
    }
  }
  selectedImage = {};
  return false;
}

}  // namespace

void RunPortScan() {
  for (portNumber = firstPort; portNumber <= lastPort; ++portNumber) {
    PrintFormatted("\nCOM%u: ", portNumber);
    if (!OpenLink(portNumber)) {
      PrintString("Could not open port.");
      continue;
    }
    FlushInput();
    DetectResult detected = DetectDevice();
    if (detected != DetectResult::Identified && detected != DetectResult::Unidentifiable) {
      PrintString("No Halvek devices detected.");
    } else if (detected == DetectResult::Identified && MatchImage()) {
      PrintFormatted("An %s was found with firmware version: %s",
                     deviceInfo.displayName ? deviceInfo.displayName : "",
                     VersionText(deviceInfo.version));
      PrintString("\n");
      imageMatchedSwitch = true;
      return;
    } else {
      PrintString("A Halvek device was found, but it does not match this firmware.");
      if (singlePortGiven) {
        // The technician named this port, so the update loop takes over with this switch.
        // It needs an image to tell the technician why the switch does not fit: keep the
        // carried one selected (the first entry; validated at start-up and just now).
        SelectFirstImage();
      }
    }
    if (singlePortGiven) {
      PrintString("\n");
      return;
    }
    CloseLink();
  }
  PrintString("\n\nNo updatable Halvek devices found.\n");
  ExitProgram(1);
}
