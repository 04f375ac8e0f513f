// How the client logs in to an SFTP server, and how it knows the server is
// the one meant. Plain strings, free of the SSH library.
#pragma once

#include <string>

struct SshSettings {
  std::string keyFile;        // a private key in OpenSSH's format; "" for none
  std::string keyPassphrase;  // of an encrypted key
  // The server's host key as `ssh-keygen -l -E sha256` prints its
  // fingerprint ("SHA256:..."); "" to look the host up in knownHostsFile.
  std::string hostKeyPin;
  std::string knownHostsFile;  // "" for ~/.ssh/known_hosts of the user who runs the job
};
