// Socket calls for the TCP probe's tests, one implementation per OS (posix/, win32/). They
// build the loopback peers that stand in for the switch; nothing here leaves 127.0.0.1.
#pragma once

#include <cstdint>

using TestSocket = intptr_t;
constexpr TestSocket kNoTestSocket = -1;

// Holds the socket library open for the peer (on Windows the probe's own start and
// clean-up must not end the peer's sockets).
void TestSocketsStart();
void TestSocketsStop();
// A socket bound to 127.0.0.1 on a free port; listening when listen is true.
TestSocket TestBindLoopback(bool listen, uint16_t* port);
// True when the socket has something to read (or a connection to accept) within waitMs.
bool TestWaitReadable(TestSocket socket, uint32_t waitMs);
TestSocket TestAccept(TestSocket listener);
// Bytes read, 0 when the peer ended its side, negative on an error.
int32_t TestReceive(TestSocket socket, char* buffer, int32_t size);
bool TestSend(TestSocket socket, const char* data, int32_t size);
void TestClose(TestSocket socket);
