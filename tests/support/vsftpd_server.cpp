#include "tests/support/vsftpd_server.h"

#include <pwd.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/file_bytes.h"

namespace fs = std::filesystem;

namespace {

constexpr std::chrono::seconds kStartTimeout{30};
const std::string kScript = KESTRIN_SOURCE_DIR "/tests/vsftpd/serve.sh";
const std::string kCommandMark = "FTP command: Client \"";

std::vector<std::string> ServerCommand(const fs::path& root, VsftpdServer::Tls tls,
                                       VsftpdServer::Certificate certificate) {
  const char* mode = tls == VsftpdServer::Tls::kNone       ? "plain"
                     : tls == VsftpdServer::Tls::kExplicit ? "explicit"
                                                           : "implicit";
  const char* kind = certificate == VsftpdServer::Certificate::kValid ? "valid" : "expired";
  return {"/bin/bash", kScript, root.string(), mode, kind};
}

// The value of a "KEY value" line of the script; throws on anything else,
// which carries the script's reason.
std::string Field(ChildProcess& process, const std::string& key) {
  const std::string line = process.readLine(kStartTimeout);
  if (line.rfind(key + " ", 0) != 0) throw std::runtime_error("vsftpd test server: " + line);
  return line.substr(key.size() + 1);
}

}  // namespace

VsftpdServer::VsftpdServer(Tls tls, Certificate certificate)
    : process_(ServerCommand(root_.path(), tls, certificate)) {
  port_ = std::stoi(Field(process_, "PORT"));
  user_ = Field(process_, "USER");
  password_ = Field(process_, "PASS");
  certificate_ = Field(process_, "CERT");
  log_ = Field(process_, "LOG");
}

bool VsftpdServer::CanRun() { return geteuid() == 0; }

void VsftpdServer::HandOver() const {
  const passwd* entry = getpwnam(user_.c_str());
  if (!entry) throw std::runtime_error("no user " + user_);
  auto give = [&](const fs::path& path) {
    if (lchown(path.c_str(), entry->pw_uid, entry->pw_gid) != 0)
      throw std::runtime_error("cannot hand over " + path.string());
  };
  give(root());
  for (const auto& entry : fs::recursive_directory_iterator(root())) give(entry.path());
}

// Log lines read: ... FTP command: Client "127.0.0.1", "STOR a.txt"
std::vector<std::string> VsftpdServer::commands() const {
  std::vector<std::string> commands;
  const std::string log = readBytes(log_);
  for (size_t at = log.find(kCommandMark); at != std::string::npos;
       at = log.find(kCommandMark, at + 1)) {
    const size_t open = log.find(", \"", at + kCommandMark.size());
    const size_t close = log.find("\"\n", open);
    if (open == std::string::npos || close == std::string::npos) break;
    commands.push_back(log.substr(open + 3, close - open - 3));
  }
  return commands;
}
