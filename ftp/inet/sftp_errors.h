// The errors of the SFTP side of the internet layer: a code the caller can
// act on and a text that says what happened. The codes are numbered apart
// from the FTP side's, so that one list can hold both.
#pragma once

#include <cstdint>
#include <string>

namespace inet {

enum SftpErrorCode : int32_t {
  kSftpOk = 0,
  kSftpCannotConnect = 14001,     // name not resolved, nobody listening, no SSH handshake
  kSftpLoginRefused = 14002,      // neither the key nor the password was accepted
  kSftpHostKeyUnknown = 14003,    // no known_hosts entry for the host (or no way to check it)
  kSftpHostKeyChanged = 14004,    // known_hosts holds another key for the host
  kSftpHostKeyNotPinned = 14005,  // the key's fingerprint is not the pinned one
  kSftpPermissionDenied = 14006,
  kSftpNoSuchFile = 14007,
  kSftpConnectionLost = 14008,
  kSftpTimeout = 14009,
  kSftpRefused = 14010,  // any other refusal of the server
};

struct SftpError {
  SftpErrorCode code = kSftpOk;
  std::string text;
};

}  // namespace inet
