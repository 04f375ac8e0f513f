#include "ftp/inet/server_address.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace inet {

namespace {

constexpr int kDefaultFtpPort = 21;
constexpr int kDefaultImplicitTlsPort = 990;
constexpr int kDefaultSftpPort = 22;
constexpr std::string_view kSftpScheme = "sftp://";

struct Scheme {
  std::string_view prefix;
  Tls tls;
};
constexpr Scheme kSchemes[] = {
    {"ftp://", Tls::kNone}, {"ftpes://", Tls::kExplicit}, {"ftps://", Tls::kImplicit}};

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

// Takes a known scheme off the front of `text`; plain FTP without one.
Tls TakeScheme(std::string_view& text) {
  for (const Scheme& scheme : kSchemes) {
    if (StartsWithNoCase(text, scheme.prefix)) {
      text.remove_prefix(scheme.prefix.size());
      return scheme.tls;
    }
  }
  return Tls::kNone;
}

// Host names, IPv4 and IPv6 addresses (with an optional zone) only: anything
// else could change the meaning of the URL that libcurl is given.
bool IsHostText(std::string_view host) {
  if (host.empty()) return false;
  return std::all_of(host.begin(), host.end(), [](char c) {
    unsigned char u = static_cast<unsigned char>(c);
    return u >= 0x80 || (u >= '0' && u <= '9') || (u >= 'a' && u <= 'z') ||
           (u >= 'A' && u <= 'Z') || c == '-' || c == '.' || c == '_' || c == ':' || c == '%';
  });
}

std::optional<int> ParsePort(std::string_view text) {
  int port = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), port);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || port < 1 ||
      port > 65535)
    return std::nullopt;
  return port;
}

// The host and optional port after the scheme, `defaultPort` without one.
std::optional<ServerAddress> ParseHostAndPort(std::string_view text, int defaultPort) {
  ServerAddress server;
  std::string_view host = text;
  std::string_view port;
  if (!text.empty() && text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    host = text.substr(1, close - 1);
    std::string_view rest = text.substr(close + 1);
    if (!rest.empty()) {
      if (rest.front() != ':') return std::nullopt;
      port = rest.substr(1);
      if (port.empty()) return std::nullopt;
    }
  } else if (std::count(text.begin(), text.end(), ':') == 1) {
    size_t colon = text.find(':');
    host = text.substr(0, colon);
    port = text.substr(colon + 1);
    if (port.empty()) return std::nullopt;
  }
  if (!IsHostText(host)) return std::nullopt;
  server.host = std::string(host);
  server.port = defaultPort;
  if (!port.empty()) {
    std::optional<int> number = ParsePort(port);
    if (!number) return std::nullopt;
    server.port = *number;
  }
  return server;
}

}  // namespace

std::optional<ServerAddress> ParseServerAddress(std::string_view text) {
  const Tls tls = TakeScheme(text);
  std::optional<ServerAddress> server =
      ParseHostAndPort(text, tls == Tls::kImplicit ? kDefaultImplicitTlsPort : kDefaultFtpPort);
  if (server) server->tls = tls;
  return server;
}

std::optional<ServerAddress> ParseSftpAddress(std::string_view text) {
  if (!StartsWithNoCase(text, kSftpScheme)) return std::nullopt;
  return ParseHostAndPort(text.substr(kSftpScheme.size()), kDefaultSftpPort);
}

std::string ServerUrl(const ServerAddress& server) {
  bool ipv6 = server.host.find(':') != std::string::npos;
  std::string host = ipv6 ? "[" + server.host + "]" : server.host;
  const char* scheme = server.tls == Tls::kImplicit ? "ftps://" : "ftp://";
  return scheme + host + ":" + std::to_string(server.port);
}

}  // namespace inet
