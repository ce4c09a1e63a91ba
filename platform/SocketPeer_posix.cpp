#include "platform/SocketPeer.h"

#include <sys/socket.h>

namespace platform {

bool socketHasPeer(std::uintptr_t socket) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  return ::getpeername(static_cast<int>(socket), reinterpret_cast<sockaddr*>(&peer), &length) == 0;
}

}  // namespace platform
