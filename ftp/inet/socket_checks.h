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

}  // namespace inet
