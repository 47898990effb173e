#include "image/version_decision.h"

#include <algorithm>
#include <cctype>

#include "format/format.h"
#include "image/catalogue.h"
#include "link/console_keys.h"
#include "link/link_io.h"

namespace {
char versionBuffer[128];

void PrintSpaces(int count) {
  for (int i = 0; i < count; ++i) PrintChar(' ');
}
}  // namespace

Compatibility CheckCompatibility(const DeviceInfo* device, const FirmwareImage* image) {
  const ImageHeader* h = image->header;
  if (FindModelName(h->family, static_cast<int>(h->modelIndex)) == nullptr) {
    return Compatibility::UnknownImage;
  }
  if (device->family != h->family) return Compatibility::OtherFamily;
  if (device->modelIndex != h->modelIndex) return Compatibility::OtherModel;
  return Compatibility::Compatible;
}

void ReportIncompatibility(Compatibility code, const DeviceInfo* device,
                           const FirmwareImage* image) {
  const char* shownName = device->displayName ? device->displayName : "";
  switch (code) {
    case Compatibility::UnknownImage:
      PrintString("\nThe firmware file given is for a product not recognize by this program.\n");
      break;
    case Compatibility::OtherFamily:
      PrintFormatted("\nAttempting to update device: \"%s\".", shownName);
      PrintFormatted("\nNew firmware is for device:  \"%s\".\n", image->header->productName);
      PrintString("\nIncompatible firmware, device not updated.\n");
      break;
    case Compatibility::OtherModel:
      PrintFormatted("\nUnsupported PCB Revision: Rev %u.\n", device->modelIndex);
      PrintFormatted("This firmware won't work on this version of the %s,\ndevice not updated.\n",
                     shownName);
      break;
    case Compatibility::Compatible: break;
  }
  PrintString("\nPlease check the Halvek website for the proper firmware for your product,\n"
              "or for a more recent version of this program: ");
  PrintString(kMakerWebAddress);
  PrintString("\n\n");
}

const char* VersionText(uint32_t version) {
  TextBuffer text;
  TextBufferInit(&text, versionBuffer, sizeof versionBuffer);
  if (version == 0) {
    TextBufferAppendString(&text, "None");
    return versionBuffer;
  }
  uint32_t beta = VersionBeta(version);
  uint32_t letter = VersionLetter(version);
  TextBufferAppendFormat(&text, "%u.%02u", VersionMajor(version), VersionMinor(version));
  if (beta != 0) TextBufferAppendFormat(&text, ".%02u", beta);
  if (letter != 0) TextBufferAppendChar(&text, static_cast<int>(kVersionLetterBase + letter));
  if (beta != 0) TextBufferAppendString(&text, "(Beta)");
  return versionBuffer;
}

int VersionTextWidth(uint32_t version) {
  if (version == 0) return 4;
  int width = VersionMajor(version) > 9 ? 5 : 4;
  if (VersionBeta(version) != 0) width += 9;
  if (VersionLetter(version) != 0) width += 1;
  return width;
}

void ShowVersions(const DeviceInfo* device, const FirmwareImage* image) {
  // The model columns line up: after its comma, each version text is padded to the
  // longer one's width, then one space more.
  int wc = VersionTextWidth(device->version);
  int wu = VersionTextWidth(image->header->version);
  int width = std::max(wc, wu);
  int padCurrent = width - wc + 1;
  int padUpdate = width - wu + 1;
  PrintString("\n Current Version: ");
  PrintString(VersionText(device->version));
  PrintChar(',');
  PrintSpaces(padCurrent);
  PrintFormatted("Model: %s", device->displayName ? device->displayName : "");
  PrintString("\n Update Version:  ");
  PrintString(VersionText(image->header->version));
  PrintChar(',');
  PrintSpaces(padUpdate);
  PrintFormatted("Model: %s", image->header->productName);
}

bool DecideUpdate(const DeviceInfo* device, const FirmwareImage* image, bool askIfEqual,
                  bool askIfNewer, bool askIfOlder) {
  const char* name = device->displayName ? device->displayName : "";
  uint32_t current = device->version;
  uint32_t update = image->header->version;
  bool ask;
  bool withoutAsking;
  const char* prompt;
  if (current == update) {
    PrintFormatted("\nThe firmware version inside the %s matches this update.\n", name);
    ask = askIfEqual;
    withoutAsking = false;
    prompt = "\n\nUpdate anyway? (Y,N) ";
  } else if (current < update) {
    PrintFormatted("\n\nThis update is newer than the firmware inside the %s.\n", name);
    ask = askIfNewer;
    withoutAsking = true;
    prompt = "\n\nContinue with update to newer version? (Y,N) ";
  } else {
    PrintFormatted("\n\nThis update is OLDER than the firmware inside the %s!\n", name);
    ask = askIfOlder;
    withoutAsking = false;
    prompt = "\n\nAre you sure you want to update with an OLDER version of firmware? (Y,N) ";
  }
  ShowVersions(device, image);
  if (!ask) {
    PrintString("\n");
    return withoutAsking;
  }
  PrintString(prompt);
  int key;
  do {
    key = ReadWholeKey();
    // The end of input can never become a yes: it is taken as N, so a closed console
    // cancels instead of waiting forever.
    if (key < 0) key = 'N';
    // A function or arrow key answers nothing, whatever its second code (Shift+F6 is 0
    // then 'Y').
    if (key >= kExtendedKey) continue;
    key = toupper(key);
  } while (key != 'Y' && key != 'N');
  PrintFormatted("%c\n", key);
  if (key == 'Y') return true;
  PrintString("\nUpdate canceled.\n\n");
  return false;
}
