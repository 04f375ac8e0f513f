#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

// OpenSSH's sshd on 127.0.0.1 (tests/sshd/serve.sh) with SFTP sessions
// starting in a fresh temporary directory, for a test user of its own, for
// the lifetime of the object. Needs root; see CanRun.
class SshdServer {
 public:
  // kPassword offers passwords and keys; kInteractive asks for the password
  // through keyboard-interactive prompts instead.
  enum class Auth { kPassword, kInteractive };

  explicit SshdServer(Auth auth = Auth::kPassword);  // throws
  static bool CanRun();

  const std::filesystem::path& root() const { return root_.path(); }
  // A line of the script: PORT, USER, PASS, KEY, LOCKED, PHRASE, PIN,
  // KNOWN, CHANGED, STRANGER, FIFO (see serve.sh).
  const std::string& operator[](const std::string& key) const { return fields_.at(key); }
  int port() const { return std::stoi(fields_.at("PORT")); }
  // The server's log since start.
  std::string log() const;

 private:
  TempDir root_;  // declared first: it must outlive the server process
  ChildProcess process_;
  std::map<std::string, std::string> fields_;
};
