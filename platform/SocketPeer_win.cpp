#include "platform/SocketPeer.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace platform {

bool socketHasPeer(std::uintptr_t socket) {
  sockaddr_storage peer{};
  int length = sizeof peer;
  return ::getpeername(static_cast<SOCKET>(socket), reinterpret_cast<sockaddr*>(&peer), &length) ==
         0;
}

}  // namespace platform
