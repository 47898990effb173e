// Listening and accepting for the loopback peers of the TCP probe's tests, one
// implementation per OS (posix/, win32/). The peers send, receive and close through the
// probe's own socket calls (net/socket.h). Nothing here leaves 127.0.0.1.
#pragma once

#include <cstdint>

#include "net/socket.h"

// A socket bound to 127.0.0.1 on a free port, listening when listen is true.
SocketHandle TestBindLoopback(bool listen, uint16_t* port);
// True when the socket has something to read, or a connection to accept, within waitMs.
bool TestWaitReadable(SocketHandle socket, uint32_t waitMs);
SocketHandle TestAccept(SocketHandle listener);
