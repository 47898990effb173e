// Following the switch's console while the update loop waits.
//
// The switch's firmware frames its status lines as "^" text "$". After an update it
// reports the reloading of its DSP banks with "!100 bank step" lines and says it is up
// again with an "=P" line.
#pragma once

#include <cstdint>

// Set by the "=P" handler; the driver clears it just before programming starts.
extern int deviceReady;
// Moved forward by every DSP progress line; the driver sets it when programming ends.
extern uint32_t lastProgressTime;

// Returns the monitor to its start state: no partial line, not ready, no progress time.
void ResetConsoleMonitor();
// Feeds one received byte, in order.
void FeedConsoleByte(uint8_t byte);
// Runs the handler of the first keyword that matches line: 0, or 1 when none took it.
int DispatchConsoleLine(const char* line);
