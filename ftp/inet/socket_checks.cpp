#include "ftp/inet/socket_checks.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace inet {

bool PeerIs(curl_socket_t socket, std::string_view address) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  if (::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) != 0) return false;
  const void* raw = nullptr;
  if (peer.ss_family == AF_INET) raw = &reinterpret_cast<const sockaddr_in*>(&peer)->sin_addr;
  if (peer.ss_family == AF_INET6) raw = &reinterpret_cast<const sockaddr_in6*>(&peer)->sin6_addr;
  char text[INET6_ADDRSTRLEN] = {};
  return raw && ::inet_ntop(peer.ss_family, raw, text, sizeof text) && address == text;
}

// A socket that cannot take the option is closed already, or soon by
// libcurl all the same: nothing is left to tell.
void ResetOnClose(curl_socket_t socket) {
  const linger abrupt{1, 0};
  static_cast<void>(::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abrupt, sizeof abrupt));
}

}  // namespace inet
