// The SFTP side of RemoteStream: a streamed transfer on an SftpFile, run on
// the caller's thread (the session lets the window handle its events
// whenever it waits). The caller's small pieces are only counted: the bytes
// move in large blocks, which libssh2 sends and fetches several requests
// at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ftp/inet/remote_session.h"
#include "ftp/inet/sftp_file.h"

namespace inet {

class SftpRemote;

class SftpStream : public RemoteStream {
 public:
  SftpStream(SftpRemote& remote, std::unique_ptr<SftpFile> file)
      : remote_(remote), file_(std::move(file)) {}

  void SendFrom(int fd, int64_t length) override;
  bool AwaitSent(int64_t bytes) override;
  void ReceiveInto(LocalDownload& local) override { local_ = &local; }
  bool Read(size_t size, size_t& read) override;
  int64_t Ready() const override;
  bool LocalFailed() const override { return local_failed_; }
  bool Finish() override;
  const Error& error() const override;

 private:
  bool SendBlock();
  // The current block, counted whole, goes to the local file.
  bool HandOver();
  // Hands over the current block, if any, and fetches the next one; an
  // empty one at the end of the file.
  bool NextBlock();

  SftpRemote& remote_;
  std::unique_ptr<SftpFile> file_;

  // Upload: the local file and what of it is still to go.
  int fd_ = -1;
  int64_t unsent_ = 0;
  int64_t sent_ = 0;
  bool local_failed_ = false;
  std::string buffer_;

  // Download: where the bytes go, the block being counted, and an emptied
  // one to fill next.
  LocalDownload* local_ = nullptr;
  std::string block_;
  size_t offset_ = 0;
  int64_t read_ = 0;  // counted by Read
  bool at_end_ = false;
  std::string spare_;
};

}  // namespace inet
