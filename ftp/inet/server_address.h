// The server as users write it in the settings: a host name or address,
// optionally followed by ":port"; an IPv6 address with a port is written in
// brackets ("[::1]:2121"). A scheme in front chooses the protection:
// "ftp://" or none, plain FTP; "ftpes://", TLS after AUTH TLS on the plain
// port; "ftps://", TLS from the first byte. Without a port, 21, or 990 for
// "ftps://".
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace inet {

enum class Tls { kNone, kExplicit, kImplicit };

struct ServerAddress {
  std::string host;  // without brackets
  int port = 21;
  Tls tls = Tls::kNone;
};

// nullopt for text that names no server (empty, stray characters, bad port).
std::optional<ServerAddress> ParseServerAddress(std::string_view text);

// An SFTP server, "sftp://" and then the host as above; port 22 without
// one. nullopt for any other text.
std::optional<ServerAddress> ParseSftpAddress(std::string_view text);

// "ftp://host:port" for libcurl ("ftps://" for implicit TLS), with the
// brackets an IPv6 address needs.
std::string ServerUrl(const ServerAddress& server);

}  // namespace inet
