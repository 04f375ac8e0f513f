#include "tests/support/ftp_test_server.h"

#include <stdexcept>

#include "tests/support/json_text.h"

namespace {

constexpr std::chrono::seconds kStartTimeout{10};
constexpr std::chrono::seconds kReplyTimeout{10};
const std::string kPython = KESTRIN_PYTHON;
const std::string kScript = KESTRIN_SOURCE_DIR "/tests/ftp_server.py";
const std::string kHost = "127.0.0.1";

std::vector<std::string> serverCommand(const std::filesystem::path& root, const std::string& user,
                                       const std::string& password) {
  return {kPython,      kScript,  "--root", root.string(), "--user", user,
          "--password", password, "--host", kHost,         "--port", "0"};
}

int parsePortLine(const std::string& line) {
  const std::string prefix = "PORT ";
  if (line.rfind(prefix, 0) != 0) throw std::runtime_error("ftp test server said: " + line);
  return std::stoi(line.substr(prefix.size()));
}

}  // namespace

FtpTestServer::FtpTestServer()
    : process_(serverCommand(root_.path(), user(), password())),
      port_(parsePortLine(process_.readLine(kStartTimeout))) {}

std::string FtpTestServer::address() const { return kHost + ":" + std::to_string(port_); }

const std::string& FtpTestServer::user() const {
  static const std::string name = "kestrin";
  return name;
}

const std::string& FtpTestServer::password() const {
  static const std::string secret = "geslo-7Tq";
  return secret;
}

void FtpTestServer::inject(const std::string& json_line) {
  std::string reply = request(json_line);
  if (reply != "ok") throw std::runtime_error("ftp test server: " + reply + " for " + json_line);
}

void FtpTestServer::clearFaults() { inject(R"({"fault":"clear"})"); }

std::vector<std::string> FtpTestServer::commands() {
  return parseJsonStringList(request(R"({"query":"commands"})"));
}

std::vector<std::string> FtpTestServer::dataEnds() {
  return parseJsonStringList(request(R"({"query":"data_ends"})"));
}

std::string FtpTestServer::request(const std::string& line) {
  process_.writeLine(line);
  return process_.readLine(kReplyTimeout);
}
