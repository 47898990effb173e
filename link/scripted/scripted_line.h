// A simulated line, clock and keyboard: the OS half of link that tests and fuzz targets
// link instead of the POSIX or Windows one.
//
// Time is virtual. The clock stands still until the code sleeps or waits for input, or a
// test moves it or makes reads cost time, so a 500 ms time-out passes in microseconds and
// a limit can be checked to the millisecond. The switch's side of the line is a schedule
// of bytes, each arriving at a moment of that clock; what the program writes is kept, one
// entry per Write, and may be answered by a responder, as a switch answers a command.
// Keys are a queue; when it is empty the console has reached the end of its input.
//
// A loop that reads the virtual clock over and over while neither it nor the line moves
// would never see its limit pass; the scripted line stops the program with a message
// ("a wait that never sleeps") instead of letting it spin, and so does a program that
// has waited an hour of virtual time ("a wait without end"): no test needs that long.
//
// There is one line: every port number opens it (unless a test has made ports missing),
// and at most one port is open at a time, as in the program.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Back to the start: clock at 0, no bytes scheduled, reads free, nothing recorded, no
// responder, no keys, every port present. Closes nothing: the link above keeps its own
// state (CloseLink).
void ScriptedReset();

// The virtual clock, in ms.
uint32_t ScriptedNow();
void ScriptedAdvance(uint32_t ms);

// Bytes the switch sends, arriving atMs ms from now (all at once).
void ScriptedDeliver(std::string_view bytes, uint32_t atMs = 0);
// Bytes that have not been read yet, arrived or not.
size_t ScriptedPending();
// From now on every Read that takes bytes costs ms of the clock (0 at start): a slow
// machine, or a driver that hands bytes over one USB frame at a time. With bytes that
// keep arriving faster than that, the line never falls quiet for the reader.
void ScriptedReadCost(uint32_t ms);
// After reads more Reads, one Read fails (returns 0) although bytes are queued, as a
// driver's read can; the bytes stay queued for the next one.
void ScriptedFailReadAfter(uint32_t reads);

// Every Write in order, each as it went out, and the rates the port was set to.
const std::vector<std::string>& ScriptedWrites();
std::string ScriptedWritten();  // all writes, joined
const std::vector<uint32_t>& ScriptedBaudRates();
// How often the program waited in the OS for input (WaitForInput).
uint32_t ScriptedWaits();
// Called with the bytes of every Write once they are recorded; it may schedule replies.
void ScriptedRespond(std::function<void(std::string_view written)> responder);

// Opening this port number fails from now on (a port that does not exist).
void ScriptedMissingPort(int32_t portNumber);

// Keys the technician will type, in order.
void ScriptedKeys(std::string_view keys);
