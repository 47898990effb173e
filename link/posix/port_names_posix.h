// Which device a COM port number means on POSIX.
//
// COMn is $TQUPD_PORTS/comN when TQUPD_PORTS names a directory (links named like the
// entries of Wine's dosdevices folder, so one folder can serve both builds); otherwise
// /dev/ttyUSB(n-1) when that exists (USB serial adapters, what a technician's laptop
// has), else /dev/ttyS(n-1) (a built-in UART).
#pragma once

#include <cstddef>

// Writes the device path for COM portNumber into path; false when it does not fit.
bool PortDevicePath(int portNumber, char* path, size_t size);
