#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

// vsftpd on 127.0.0.1 (tests/vsftpd/serve.sh) serving a fresh temporary
// directory to a local test user, for the lifetime of the object: a second,
// unrelated server, and the one that speaks TLS as libcurl expects it.
// Needs root; see CanRun.
class VsftpdServer {
 public:
  enum class Tls { kNone, kExplicit, kImplicit };
  enum class Certificate { kValid, kExpired };  // both self-signed, for "localhost"

  explicit VsftpdServer(Tls tls, Certificate certificate = Certificate::kValid);  // throws
  static bool CanRun();

  int port() const { return port_; }
  const std::string& user() const { return user_; }
  const std::string& password() const { return password_; }
  const std::filesystem::path& root() const { return root_.path(); }
  // The server's certificate, which also serves as the CA file that trusts it.
  const std::filesystem::path& certificate() const { return certificate_; }

  // The test writes the served files as root; the server's user must be able
  // to replace and delete them.
  void HandOver() const;
  // Every command line received since start, in order; the password shows
  // as "PASS <password>".
  std::vector<std::string> commands() const;

 private:
  TempDir root_;  // declared first: it must outlive the server process
  ChildProcess process_;
  int port_ = 0;
  std::string user_, password_;
  std::filesystem::path certificate_, log_;
};
