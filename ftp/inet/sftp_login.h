// The login on an SSH session whose host key has been checked: the private
// key first, when one is given, then the password, which also answers a
// keyboard-interactive prompt where the server asks that way.
#pragma once

#include <string>

#include "ftp/inet/sftp_pump.h"

namespace inet {

struct SftpCredentials {
  std::string user;
  std::string password;
  std::string keyFile;  // an OpenSSH private key; none when empty
  std::string keyPassphrase;
};

// False with the error set when no way in was accepted by `deadline`.
bool LogIn(SftpPump& pump, const SftpCredentials& credentials, SftpPump::Clock::time_point deadline,
           SftpError& error);

}  // namespace inet
