// A streamed transfer of one remote file on an SFTP session, chunk by chunk
// as the caller hands them in or takes them, so that the caller can report
// its progress after each. The session must outlive the file; its
// LastError() tells why a call failed.
#pragma once

#include <libssh2_sftp.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

namespace inet {

class SftpSession;

class SftpFile {
 public:
  SftpFile(SftpSession& session, LIBSSH2_SFTP_HANDLE* handle, std::string path)
      : session_(session), handle_(handle), path_(std::move(path)) {}
  ~SftpFile();  // closes the handle where Close has not
  SftpFile(const SftpFile&) = delete;
  SftpFile& operator=(const SftpFile&) = delete;

  // The next bytes of a file opened for reading, `size` at most: their
  // count, 0 at the end of the file, -1 on failure.
  int64_t Read(char* buffer, size_t size);
  // All `size` bytes onto the end of a file opened for writing.
  bool Write(const char* data, size_t size);
  // Closes the file; true when the server accepted that.
  bool Close();

 private:
  SftpSession& session_;
  LIBSSH2_SFTP_HANDLE* handle_;
  std::string path_;
};

}  // namespace inet
