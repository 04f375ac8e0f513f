// What the connection asks of the sockets libcurl opens for it: whose a
// data connection is, and that one refused or abandoned ends as broken.
#pragma once

#include <curl/curl.h>

#include <string_view>

namespace inet {

// True when the socket's peer has `address` (an IP address as text, the
// form libcurl reports for the control connection's server).
bool PeerIs(curl_socket_t socket, std::string_view address);

// Makes the socket's close a reset: its peer reads a broken transfer, not
// an orderly end of an empty one.
void ResetOnClose(curl_socket_t socket);

// A second descriptor of one of libcurl's sockets, which keeps the
// connection open until it is let go, however libcurl closes its own: in
// order (Release), or with a reset (Reset). libcurl 7.88 calls no close
// callback for an accepted data connection, and closes a failed transfer's
// in order, so this is the one way to end every such connection as broken.
class HeldSocket {
 public:
  HeldSocket() = default;
  HeldSocket(const HeldSocket&) = delete;
  HeldSocket& operator=(const HeldSocket&) = delete;
  ~HeldSocket() { Release(); }

  void Hold(curl_socket_t socket);
  void Release();
  void Reset();

 private:
  int held_ = -1;
};

}  // namespace inet
