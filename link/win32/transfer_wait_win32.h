// How the Windows port reads the wait on an overlapped transfer's event.
#pragma once

#include <windows.h>

// Only a signalled event means that the transfer has ended. A time-out, and every
// failure of the wait itself (WAIT_FAILED, WAIT_ABANDONED), leave it running: it must be
// cancelled, or a later wait for its result could last for ever.
inline bool TransferEnded(DWORD waitResult) { return waitResult == WAIT_OBJECT_0; }
