// The check of the server's host key, made right after the SSH handshake
// and before anything secret goes to the server. There is no way to accept
// an unchecked key: a run without a pin or a known_hosts file fails.
#pragma once

#include <libssh2.h>

#include <string>

#include "ftp/inet/sftp_errors.h"

namespace inet {

struct HostKeyCheck {
  // "SHA256:<base64 without padding>", as `ssh-keygen -l -E sha256` prints
  // it; when set, the key must have this fingerprint.
  std::string pin;
  // Otherwise, an OpenSSH known_hosts file that must hold the key for the
  // host ("[host]:port" for a port other than 22).
  std::string knownHostsFile;
};

// The session's host key in the form of a pin.
std::string HostKeyFingerprint(LIBSSH2_SESSION* session);

// False with the error set when the key fails the check; the error's text
// names the fingerprint offered.
bool CheckHostKey(LIBSSH2_SESSION* session, const HostKeyCheck& check, const std::string& host,
                  int port, SftpError& error);

}  // namespace inet
