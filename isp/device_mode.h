// How the switch answered the last detection: through its running firmware or through its
// microcontroller's boot ROM. Identification sets it after every probe, and boot-loader
// entry sets it once the boot ROM is synchronised; the update loop reads it.
#pragma once

enum DeviceMode : int {
  NoDevice = 0,         // nothing identified
  RunningFirmware = 1,  // its firmware answered; deviceInfo from the identity reply
  BootLoader = 2,       // its boot ROM answered, synchronised, echo off; deviceInfo from flash
  BlankBootLoader = 3,  // its boot ROM answered but flash holds no recognised table
};

// The program's single record, NoDevice at start.
extern DeviceMode deviceMode;
