#include "ftp/inet/sftp_file.h"

#include <utility>

#include "ftp/inet/sftp_session.h"

namespace inet {

namespace {

constexpr long kUploadMode =
    LIBSSH2_SFTP_S_IRUSR | LIBSSH2_SFTP_S_IWUSR | LIBSSH2_SFTP_S_IRGRP | LIBSSH2_SFTP_S_IROTH;

}  // namespace

std::unique_ptr<SftpFile> SftpSession::OpenFile(const std::string& path, Access access) {
  const std::optional<std::string> real = Usable() ? Resolve(path) : std::nullopt;
  if (!real) return nullptr;
  const unsigned long flags = access == Access::kRead
                                  ? LIBSSH2_FXF_READ
                                  : LIBSSH2_FXF_WRITE | LIBSSH2_FXF_CREAT | LIBSSH2_FXF_TRUNC;
  LIBSSH2_SFTP_HANDLE* handle = Request([&] {
    return libssh2_sftp_open_ex(sftp_, real->data(), static_cast<unsigned>(real->size()), flags,
                                kUploadMode, LIBSSH2_SFTP_OPENFILE);
  });
  if (!handle) {
    FailHandle("Opening " + path);
    return nullptr;
  }
  return std::make_unique<SftpFile>(*this, handle, path);
}

SftpFile::~SftpFile() {
  if (handle_) session_.CloseHandle(handle_);
}

// Each chunk gets the stall timeout anew: a transfer fails when it stops
// moving, not when it is long.
int64_t SftpFile::Read(char* buffer, size_t size) {
  if (!session_.Usable()) return -1;
  const ssize_t read = session_.Transfer([&] { return libssh2_sftp_read(handle_, buffer, size); });
  if (read >= 0) return read;
  session_.Fail(static_cast<int>(read), "Download of " + path_);
  return -1;
}

bool SftpFile::Write(const char* data, size_t size) {
  if (!session_.Usable()) return false;
  for (size_t sent = 0; sent < size;) {
    const ssize_t written =
        session_.Transfer([&] { return libssh2_sftp_write(handle_, data + sent, size - sent); });
    if (written < 0) return session_.Fail(static_cast<int>(written), "Upload of " + path_);
    sent += static_cast<size_t>(written);
  }
  return true;
}

bool SftpFile::Close() {
  if (!handle_ || !session_.Usable()) return false;
  LIBSSH2_SFTP_HANDLE* handle = std::exchange(handle_, nullptr);
  const int result = session_.Request([&] { return libssh2_sftp_close_handle(handle); });
  return result == 0 || session_.Fail(result, "Closing " + path_);
}

}  // namespace inet
