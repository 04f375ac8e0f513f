// The SFTP side of RemoteSession: an SftpSession seen as the client sees
// every session. Paths are absolute, start with "~/" for the login's home,
// or are taken from the current directory; names go to the server as their
// exact bytes. Listings take names, sizes and types from the SFTP entries
// (links followed), never from text meant for people.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "ftp/inet/remote_session.h"
#include "ftp/inet/sftp_session.h"

namespace inet {

// Connects, checks the host key and logs in; nullptr with `error` set when
// that fails. Without a pin or a known hosts file, the host is looked up in
// ~/.ssh/known_hosts of the user who runs the program.
std::unique_ptr<RemoteSession> OpenSftpSession(SftpRequest request, Error& error);

class SftpRemote : public RemoteSession {
 public:
  explicit SftpRemote(std::unique_ptr<SftpSession> session) : session_(std::move(session)) {}

  bool Rename(const std::string& from, const std::string& to) override;
  bool CreateDirectory(const std::string& path) override;
  bool RemoveDirectory(const std::string& path) override;
  bool DeleteFile(const std::string& path) override;
  bool SetCurrentDirectory(const std::string& path) override;
  const std::string& CurrentDirectory() const override { return cwd_; }
  const Error& error() const override { return error_; }
  bool Stat(const std::string& path, bool withTime, RemoteStat& stat) override;
  bool Find(const std::string& pattern, NameMatch match, std::vector<FindData>& entries) override;
  bool PutFile(const std::string& local, const std::string& remote, TransferType type) override;
  bool GetFile(const std::string& remote, const std::string& local, TransferType type) override;
  // The type does not matter: SFTP moves every file as its bytes.
  std::unique_ptr<RemoteStream> OpenFile(const std::string& remote, Access access,
                                         TransferType type) override;

  // Takes the session's error of the call that just failed; false.
  bool Failed();
  // Keeps `error` as the last failure; false.
  bool FailWith(const Error& error);

 private:
  std::string Resolve(const std::string& path) const;

  std::unique_ptr<SftpSession> session_;
  std::string cwd_ = "/";
  Error error_;
};

}  // namespace inet
