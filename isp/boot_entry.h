// Finding out who listens on the line (the switch's firmware or its microcontroller's
// boot ROM) and bringing the boot ROM into a synchronised ISP connection with echo off.
#pragma once

// Probe results.
enum ProbeResult : int {
  kProbeNothing = 0,     // nothing recognisable answered in four tries
  kProbeBootLoader = 1,  // the boot ROM answered, is synchronised, echo off
  kProbeFirmware = 2,    // the switch's running firmware answered
};

// Sends the probe line up to four times, alternating 115200 and 19200 baud (starting
// with the rate linkBaudRate does not hold), and classifies the answer. The port is left
// at the rate of the last try.
int ProbeLink();

// 0 the boot ROM is synchronised with echo off (deviceMode is BootLoader); 1 nothing
// answered the first probe; 2 the firmware answered but the boot ROM did not come up
// after "^BOOTL$".
int EnterBootLoader();
