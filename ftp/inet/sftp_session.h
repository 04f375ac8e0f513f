// One SFTP session of the internet layer, on libssh2: an SSH connection
// whose host key was checked before the login, and the SFTP subsystem on
// it. Every wait runs on the caller's thread without blocking it: libssh2
// works in non-blocking mode and the session calls the request's `yield`
// every few milliseconds while it waits on the network, within the same
// kind of timeouts as an FTP connection.
//
// Every member returns false (or nullptr) on failure and leaves the error
// in LastError(). After a timeout or a lost connection the session is done
// with: every later call fails the same way, and the caller opens another.
//
// A remote path that starts with "~/" is taken from the login's home
// directory (the server's real path of "."); any other is passed as it is.
#pragma once

#include <libssh2.h>
#include <libssh2_sftp.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ftp/inet/remote_session.h"
#include "ftp/inet/sftp_errors.h"
#include "ftp/inet/sftp_host_key.h"
#include "ftp/inet/sftp_login.h"
#include "ftp/inet/sftp_pump.h"
#include "ftp/timeouts.h"

namespace inet {

inline constexpr int kSftpDefaultPort = 22;

struct SftpRequest {
  std::string host;
  int port = kSftpDefaultPort;
  SftpCredentials credentials;
  HostKeyCheck hostKey;
  // connect: to reach the server, check its key and log in; reply: each
  // request of an operation; stall: a transfer's chunk.
  FtpTimeouts timeouts;
  std::function<void()> yield;
};

enum class SftpType { kFile, kDirectory, kOther };

// What the server says of a file; -1 where it does not say.
struct SftpStat {
  int64_t size = -1;
  int64_t mtime = -1;  // seconds since the epoch
  SftpType type = SftpType::kOther;
};

// One entry of a listing. A symbolic link is followed: its size, time and
// type are its target's (kOther where the target is missing).
struct SftpEntry : SftpStat {
  std::string name;  // exactly as the server sent it
  bool link = false;
};

class SftpFile;

class SftpSession {
 public:
  // Connects, checks the host key and logs in; nullptr with `error` set
  // when any of that fails.
  static std::unique_ptr<SftpSession> Open(const SftpRequest& request, SftpError& error);
  ~SftpSession();
  SftpSession(const SftpSession&) = delete;
  SftpSession& operator=(const SftpSession&) = delete;

  const SftpError& LastError() const { return error_; }

  // Every entry of the directory but "." and "..".
  bool List(const std::string& directory, std::vector<SftpEntry>& entries);
  // Follows a symbolic link.
  bool Stat(const std::string& path, SftpStat& stat);
  // Gives `from` the name `to`, replacing a file of that name.
  bool Rename(const std::string& from, const std::string& to);
  bool Delete(const std::string& path);
  bool MakeDirectory(const std::string& path);
  bool RemoveDirectory(const std::string& path);
  // A file to read (kRead) or to write from its start, created or emptied
  // (kWrite), in chunks of the caller's choosing.
  std::unique_ptr<SftpFile> OpenFile(const std::string& path, Access access);

 private:
  friend class SftpFile;
  using Clock = SftpPump::Clock;

  explicit SftpSession(const SftpRequest& request) : request_(request) {}
  bool Connect();
  bool StartSftp(Clock::time_point deadline);
  // Runs one request of an operation, within the reply timeout and the
  // limit of the listing under way.
  template <typename Call>
  auto Request(Call call) {
    return pump_->Run(
        call, std::min(Clock::now() + std::chrono::seconds(request_.timeouts.reply), until_));
  }
  // Moves one chunk of a transfer, within the stall timeout.
  template <typename Call>
  auto Transfer(Call call) {
    return pump_->Run(call, Clock::now() + std::chrono::seconds(request_.timeouts.stall));
  }
  // Runs `call` on the real form of `path`: one request that answers 0 on
  // success; `what` and the path name a failure.
  template <typename Call>
  bool OnPath(const std::string& path, const std::string& what, Call call) {
    const std::optional<std::string> real = Usable() ? Resolve(path) : std::nullopt;
    if (!real) return false;
    const int result = Request([&] { return call(*real, static_cast<unsigned>(real->size())); });
    return result == 0 || Fail(result, what + path);
  }
  // Records the failure of the last call; false, for the caller to return.
  bool Fail(int result, const std::string& what);
  bool FailHandle(const std::string& what);  // a call that handed out no handle
  bool Usable();
  static SftpStat StatOf(const LIBSSH2_SFTP_ATTRIBUTES& attributes);
  std::optional<std::string> Resolve(const std::string& path);
  bool RenameOnce(const std::string& from, const std::string& to);
  bool ReplaceByRename(const std::string& from, const std::string& to);
  bool ListWithinLimit(const std::string& directory, std::vector<SftpEntry>& entries);
  bool ReadEntries(LIBSSH2_SFTP_HANDLE* handle, const std::string& directory,
                   std::vector<SftpEntry>& entries);
  bool FollowLink(const std::string& path, SftpEntry& entry);
  void CloseHandle(LIBSSH2_SFTP_HANDLE* handle);

  SftpRequest request_;
  int socket_ = -1;
  LIBSSH2_SESSION* session_ = nullptr;
  LIBSSH2_SFTP* sftp_ = nullptr;
  std::optional<SftpPump> pump_;
  std::string home_;  // learnt at the first "~/" path
  SftpError error_;
  bool broken_ = false;  // timed out or lost: no request can go any more
  Clock::time_point until_ = Clock::time_point::max();  // of the listing under way
};

}  // namespace inet
