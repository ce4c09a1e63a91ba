// Whether a socket has reached its peer, asked of the system rather than of the library that
// made the socket.
#pragma once

#include <cstdint>

namespace platform {

// True when the connected socket `socket` (a file descriptor on POSIX, a SOCKET on Windows)
// has a peer: its connection has been made. False while it is still connecting, or for a
// socket that is not connected.
bool socketHasPeer(std::uintptr_t socket);

}  // namespace platform
