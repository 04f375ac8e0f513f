// The server as users write it in the settings: a host name or address,
// optionally followed by ":port"; an IPv6 address with a port is written in
// brackets ("[::1]:2121"). Without a port, the FTP default 21.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace inet {

struct ServerAddress {
  std::string host;  // without brackets
  int port = 21;
};

// nullopt for text that names no server (empty, stray characters, bad port).
std::optional<ServerAddress> ParseServerAddress(std::string_view text);

// "ftp://host:port" for libcurl, with the brackets an IPv6 address needs.
std::string ServerUrl(const ServerAddress& server);

}  // namespace inet
