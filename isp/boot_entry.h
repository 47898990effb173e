// Finding out who listens on the line (the switch's firmware or its microcontroller's
// boot ROM) and bringing the boot ROM into a synchronised ISP connection with echo off.
#pragma once

#include <cstdint>

enum class ProbeResult : int {
  Nothing = 0,     // nothing recognisable answered in four tries
  BootLoader = 1,  // the boot ROM answered, is synchronised, echo off
  Firmware = 2,    // the switch's running firmware answered
};

// Sends the probe line up to four times, alternating 115200 and 19200 baud (starting
// with the rate linkBaudRate does not hold), and classifies the answer. The port is left
// at the rate of the last try.
ProbeResult ProbeLink();

enum class BootEntryResult : int {
  Synchronised = 0,   // the boot ROM is synchronised with echo off; deviceMode is BootLoader
  NoAnswer = 1,       // nothing answered the first probe
  BootRomSilent = 2,  // the firmware answered, but no boot ROM came up after "^BOOTL$"
};

BootEntryResult EnterBootLoader();

// Once a probe has found the switch, the utility waits this long and then discards what is
// queued before it sends its first command. The last bytes of the answer (the LF after
// the boot ROM's "0", the end of the firmware's frame) may still be on their way (a USB
// adapter holds a short burst back for up to 16 ms), and read after the flush they would
// be taken for the first line of the next reply. Identification waits the same way.
constexpr int32_t kSettleBeforeCommandMs = 20;
