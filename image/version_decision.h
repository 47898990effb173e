// Whether the carried image fits the switch, and whether the user wants it: the version
// texts, the two aligned version lines and the Y/N prompt.
#pragma once

#include <cstdint>

#include "image/device_info.h"
#include "image/firmware_image.h"

enum class Compatibility : int {
  Compatible = 0,
  UnknownImage = 1,  // the image's family and model are not in the catalogue
  OtherFamily = 3,
  OtherModel = 4,  // same family, another model (PCB revision)
};
Compatibility CheckCompatibility(const DeviceInfo* device, const FirmwareImage* image);
// Prints why the image does not fit, then where to find the right firmware.
void ReportIncompatibility(Compatibility code, const DeviceInfo* device,
                           const FirmwareImage* image);

// The text of a version word ("2.60", "2.60.05b(Beta)", "None"), in a buffer shared by
// all calls: valid until the next call.
const char* VersionText(uint32_t version);
int VersionTextWidth(uint32_t version);
void ShowVersions(const DeviceInfo* device, const FirmwareImage* image);

// Shows the versions and, when the case's flag is set, asks Y/N. True: update.
bool DecideUpdate(const DeviceInfo* device, const FirmwareImage* image, bool askIfEqual,
                  bool askIfNewer, bool askIfOlder);

// Where the closing message sends users for the right firmware.
constexpr const char* kMakerWebAddress = "https://www.halvek.example/support";
