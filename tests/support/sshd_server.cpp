#include "tests/support/sshd_server.h"

#include <unistd.h>

#include <stdexcept>

#include "tests/support/file_bytes.h"

namespace {

constexpr std::chrono::seconds kStartTimeout{30};
const std::string kScript = KESTRIN_SOURCE_DIR "/tests/sshd/serve.sh";
const char* const kSshd = "/usr/sbin/sshd";
// The script's lines, in the order it prints them.
const char* const kKeys[] = {"PORT", "USER",  "PASS",    "KEY",      "LOCKED", "PHRASE",
                             "PIN",  "KNOWN", "CHANGED", "STRANGER", "FIFO",   "LOG"};

}  // namespace

SshdServer::SshdServer(Auth auth)
    : process_({"/bin/bash", kScript, root_.path().string(),
                auth == Auth::kPassword ? "password" : "interactive"}) {
  for (const std::string key : kKeys) {
    const std::string line = process_.readLine(kStartTimeout);
    if (line.rfind(key + " ", 0) != 0) throw std::runtime_error("sshd test server: " + line);
    fields_[key] = line.substr(key.size() + 1);
  }
}

bool SshdServer::CanRun() { return geteuid() == 0 && access(kSshd, X_OK) == 0; }

std::string SshdServer::log() const { return readBytes(fields_.at("LOG")); }
