#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <utime.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <ratio>
#include <set>

#include "ftp/inet/sftp_file.h"
#include "ftp/inet/sftp_session.h"
#include "tests/support/file_bytes.h"
#include "tests/support/sshd_server.h"

namespace fs = std::filesystem;
using inet::SftpErrorCode;

namespace {

constexpr size_t kMiB = 1 << 20;
constexpr size_t kChunk = 64 * 1024;
constexpr int64_t kTime = 1000000000;
constexpr std::chrono::nanoseconds kClickLatency = std::chrono::milliseconds(50);
const std::string kOtherPin = "SHA256:47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU";

inet::SftpRequest Request(const SshdServer& server) {
  inet::SftpRequest request;
  request.host = "127.0.0.1";
  request.port = server.port();
  request.credentials.user = server["USER"];
  request.credentials.password = server["PASS"];
  request.hostKey.pin = server["PIN"];
  return request;
}

int64_t ThreadCpuNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec * std::nano::den + now.tv_nsec;
}

struct LoginRow {
  const char* name;
  SshdServer::Auth auth;
  std::function<void(inet::SftpRequest&, const SshdServer&)> set;
  SftpErrorCode expected;
};

// Every way in, and every host key the session must refuse before it says
// anything secret: those texts name the key offered, and sshd saw no
// password.
TEST(SftpSession, LogsInOnlyToTheRightHostWithTheRightSecret) {
  if (!SshdServer::CanRun()) GTEST_SKIP() << "sshd checks passwords only as root";
  using Auth = SshdServer::Auth;
  // A listener that never says a word: the handshake must give up in time.
  const int silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t length = sizeof address;
  const auto at = reinterpret_cast<sockaddr*>(&address);
  ASSERT_EQ(bind(silent, at, length) | listen(silent, 1) | getsockname(silent, at, &length), 0);
  const LoginRow rows[] = {
      {"password, pinned key", Auth::kPassword, [](auto&, auto&) {}, inet::kSftpOk},
      {"password as a prompt, slow key exchange", Auth::kInteractive, [](auto&, auto&) {},
       inet::kSftpOk},
      {"key, known host", Auth::kPassword,
       [](auto& r, auto& s) {
         r.credentials = {s["USER"], "", s["KEY"], ""};
         r.hostKey = {"", s["KNOWN"]};
       },
       inet::kSftpOk},
      {"encrypted key", Auth::kPassword,
       [](auto& r, auto& s) {
         r.credentials = {s["USER"], "", s["LOCKED"], s["PHRASE"]};
       },
       inet::kSftpOk},
      {"wrong password", Auth::kPassword, [](auto& r, auto&) { r.credentials.password += "x"; },
       inet::kSftpLoginRefused},
      {"wrong pin", Auth::kPassword, [](auto& r, auto&) { r.hostKey.pin = kOtherPin; },
       inet::kSftpHostKeyNotPinned},
      {"unknown host", Auth::kPassword,
       [](auto& r, auto& s) {
         r.hostKey = {"", s["STRANGER"]};
       },
       inet::kSftpHostKeyUnknown},
      {"changed key", Auth::kPassword,
       [](auto& r, auto& s) {
         r.hostKey = {"", s["CHANGED"]};
       },
       inet::kSftpHostKeyChanged},
      {"no check at all", Auth::kPassword, [](auto& r, auto&) { r.hostKey = {}; },
       inet::kSftpHostKeyUnknown},
      {"silent server", Auth::kPassword,
       [&](auto& r, auto&) {
         r.port = ntohs(address.sin_port);
         r.timeouts.connect = 1;
       },
       inet::kSftpTimeout},
  };
  std::map<Auth, std::unique_ptr<SshdServer>> servers;
  for (const LoginRow& row : rows) {
    SCOPED_TRACE(row.name);
    auto& server = servers[row.auth];
    if (!server) server = std::make_unique<SshdServer>(row.auth);
    inet::SftpRequest request = Request(*server);
    row.set(request, *server);
    // The window must see a click within 50 ms: the thread spends no longer
    // than that computing between yields (its CPU time, which a loaded
    // machine does not stretch).
    int64_t last = ThreadCpuNanoseconds(), longest = 0;
    request.yield = [&] {
      longest = std::max(longest, ThreadCpuNanoseconds() - last);
      last = ThreadCpuNanoseconds();
    };
    const size_t logged = server->log().size();
    inet::SftpError error;
    const auto session = inet::SftpSession::Open(request, error);
    EXPECT_EQ(error.code, row.expected) << error.text;
    EXPECT_EQ(session != nullptr, row.expected == inet::kSftpOk);
    EXPECT_LT(std::max(longest, ThreadCpuNanoseconds() - last), kClickLatency.count());
    if (error.code >= inet::kSftpHostKeyUnknown && error.code <= inet::kSftpHostKeyNotPinned) {
      EXPECT_NE(error.text.find((*server)["PIN"]), std::string::npos) << error.text;
      EXPECT_EQ(server->log().find("password", logged), std::string::npos);
    }
  }
  close(silent);
}

std::set<std::string> Names(const std::vector<inet::SftpEntry>& entries) {
  std::set<std::string> names;
  for (const auto& entry : entries) names.insert(entry.name);
  return names;
}

TEST(SftpSession, MovesFilesByteExact) {
  if (!SshdServer::CanRun()) GTEST_SKIP() << "sshd checks passwords only as root";
  const SshdServer server;
  const fs::path root = server.root();
  const std::string odd[] = {"a,b", " lead", "x\x9Ay"};
  for (const auto& name : odd) writeBytes(root / name, name);
  const std::string down = randomBytes(kMiB, 1), up = randomBytes(kMiB, 2);
  writeBytes(root / "down", down);
  utimbuf times{kTime, kTime};
  utime((root / "down").c_str(), &times);
  fs::create_directory(root / "dir");
  fs::create_directory_symlink("dir", root / "to dir");
  // A link the user may not follow (into init's root) is neither file nor directory.
  fs::create_symlink("/proc/1/root/x", root / "hidden");
  inet::SftpError error;
  const auto session = inet::SftpSession::Open(Request(server), error);
  ASSERT_TRUE(session) << error.text;

  std::vector<inet::SftpEntry> entries;
  ASSERT_TRUE(session->List("~/", entries)) << session->LastError().text;
  EXPECT_EQ(Names(entries),
            (std::set<std::string>{"a,b", " lead", "x\x9Ay", "down", "dir", "to dir", "hidden"}));
  for (const auto& entry : entries) {
    SCOPED_TRACE(entry.name);
    const bool directory = entry.name == "dir" || entry.name == "to dir";
    const bool file = !directory && entry.name != "hidden";
    EXPECT_EQ(entry.type, directory ? inet::SftpType::kDirectory
                                    : (file ? inet::SftpType::kFile : inet::SftpType::kOther));
    EXPECT_EQ(entry.link, entry.name == "to dir" || entry.name == "hidden");
    if (file) {
      EXPECT_EQ(entry.size, static_cast<int64_t>(fs::file_size(root / entry.name)));
    }
  }
  inet::SftpStat stat;
  ASSERT_TRUE(session->Stat(root / "down", stat));
  EXPECT_EQ(stat.size, static_cast<int64_t>(kMiB));
  EXPECT_EQ(stat.mtime, kTime);

  std::string got(kChunk, '\0'), received;
  auto reading = session->OpenFile("~/down", inet::Access::kRead);
  ASSERT_TRUE(reading);
  for (int64_t read; (read = reading->Read(got.data(), got.size())) > 0;)
    received.append(got, 0, read);
  EXPECT_TRUE(reading->Close());
  EXPECT_TRUE(received == down);
  auto writing = session->OpenFile("~/up", inet::Access::kWrite);
  ASSERT_TRUE(writing);
  for (size_t at = 0; at < up.size(); at += kChunk)
    ASSERT_TRUE(writing->Write(up.data() + at, kChunk));
  EXPECT_TRUE(writing->Close());
  EXPECT_TRUE(readBytes(root / "up") == up);

  // The upload replaces a file whose name leaves no room for the hidden one
  // the old file has meanwhile, unless cut; nothing is left beside it.
  const std::string longName(250, 'n');
  writeBytes(root / longName, "old");
  ASSERT_TRUE(session->Rename("~/up", "~/" + longName)) << session->LastError().text;
  EXPECT_TRUE(readBytes(root / longName) == up);
  EXPECT_TRUE(session->Delete("~/a,b"));
  ASSERT_TRUE(session->List(root, entries));
  EXPECT_EQ(Names(entries), (std::set<std::string>{" lead", "x\x9Ay", "down", longName, "dir",
                                                   "to dir", "hidden"}));

  // Refusals keep their reason.
  fs::create_directory(root / "closed");
  const std::pair<std::function<bool()>, SftpErrorCode> refusals[] = {
      {[&] { return session->List("~/missing", entries); }, inet::kSftpNoSuchFile},
      {[&] { return session->Delete("~/a,b"); }, inet::kSftpNoSuchFile},
      {[&] { return session->Rename("~/gone", "~/down"); }, inet::kSftpNoSuchFile},
      {[&] { return session->OpenFile("~/closed/x", inet::Access::kWrite) != nullptr; },
       inet::kSftpPermissionDenied},
      {[&] { return session->Rename("~/down", "~/dir"); }, inet::kSftpRefused},
  };
  for (const auto& [operation, code] : refusals) {
    EXPECT_FALSE(operation());
    EXPECT_EQ(session->LastError().code, code) << session->LastError().text;
  }
  EXPECT_TRUE(fs::is_directory(root / "dir"));

  // All of a listing's requests share one time limit, each answered in time
  // or not: here it is none.
  inet::SftpRequest hasty = Request(server);
  hasty.timeouts.listing = 0;
  const auto rushed = inet::SftpSession::Open(hasty, error);
  ASSERT_TRUE(rushed) << error.text;
  EXPECT_FALSE(rushed->List("~/", entries));
  EXPECT_EQ(rushed->LastError().code, inet::kSftpTimeout) << rushed->LastError().text;
}

}  // namespace
