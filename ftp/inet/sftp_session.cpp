#include "ftp/inet/sftp_session.h"

#include <unistd.h>

#include <algorithm>
#include <limits>
#include <mutex>

#include "ftp/inet/sftp_socket.h"

namespace inet {

namespace {

// The longest real path of the home directory the session takes.
constexpr size_t kPathBuffer = 4096;
// A new directory: the owner's, readable by others, as mkdir -p makes it.
constexpr long kDirectoryMode = LIBSSH2_SFTP_S_IRWXU | LIBSSH2_SFTP_S_IRGRP | LIBSSH2_SFTP_S_IXGRP |
                                LIBSSH2_SFTP_S_IROTH | LIBSSH2_SFTP_S_IXOTH;

void InitLibrary() {
  static std::once_flag once;
  std::call_once(once, [] { libssh2_init(0); });
}

std::string Where(const SftpRequest& request) {
  return request.host + " port " + std::to_string(request.port);
}

}  // namespace

std::unique_ptr<SftpSession> SftpSession::Open(const SftpRequest& request, SftpError& error) {
  InitLibrary();
  std::unique_ptr<SftpSession> session(new SftpSession(request));
  if (session->Connect()) return session;
  error = session->error_;
  return nullptr;
}

bool SftpSession::Connect() {
  const Clock::time_point deadline = Clock::now() + std::chrono::seconds(request_.timeouts.connect);
  socket_ = ConnectSocket(request_.host, request_.port, deadline, request_.yield, error_);
  if (socket_ < 0) return false;
  session_ = libssh2_session_init();
  if (!session_) {
    error_ = {kSftpCannotConnect, "The SSH library could not start a session."};
    return false;
  }
  libssh2_session_set_blocking(session_, 0);
  pump_.emplace(session_, socket_, request_.yield);
  // The key exchange computes for a tenth of a second and more on a large
  // group (8192-bit Diffie-Hellman): aside, so that a click is seen meanwhile.
  const int handshake =
      pump_->RunAside([&] { return libssh2_session_handshake(session_, socket_); }, deadline);
  if (handshake != 0) {
    error_ = pump_->Failure(handshake, "SSH handshake with " + Where(request_));
    if (error_.code == kSftpRefused) error_.code = kSftpCannotConnect;
    return false;
  }
  // Nothing secret goes out before the server has proved to be the one meant.
  if (!CheckHostKey(session_, request_.hostKey, request_.host, request_.port, error_)) return false;
  return LogIn(*pump_, request_.credentials, deadline, error_) && StartSftp(deadline);
}

bool SftpSession::StartSftp(Clock::time_point deadline) {
  sftp_ = pump_->Run([&] { return libssh2_sftp_init(session_); }, deadline);
  if (sftp_) return true;
  error_ = pump_->Failure(libssh2_session_last_errno(session_), "SFTP on " + Where(request_));
  return false;
}

SftpSession::~SftpSession() {
  if (!broken_ && sftp_) Request([&] { return libssh2_sftp_shutdown(sftp_); });
  if (!broken_ && session_ && pump_)
    Request([&] { return libssh2_session_disconnect(session_, "Done"); });
  if (session_) libssh2_session_free(session_);
  if (socket_ >= 0) close(socket_);
}

bool SftpSession::Fail(int result, const std::string& what) {
  error_ = pump_->Failure(result, what, sftp_);
  broken_ = error_.code == kSftpTimeout || error_.code == kSftpConnectionLost;
  return false;
}

bool SftpSession::FailHandle(const std::string& what) {
  return Fail(libssh2_session_last_errno(session_), what);
}

bool SftpSession::Usable() {
  if (!broken_) error_ = {};
  return !broken_;
}

SftpStat SftpSession::StatOf(const LIBSSH2_SFTP_ATTRIBUTES& attributes) {
  SftpStat stat;
  // A size past int64_t is still one the server stated, which no file sent
  // or listed can match: never -1, which would be believed like no size.
  if (attributes.flags & LIBSSH2_SFTP_ATTR_SIZE)
    stat.size = static_cast<int64_t>(
        std::min<uint64_t>(attributes.filesize, std::numeric_limits<int64_t>::max()));
  if (attributes.flags & LIBSSH2_SFTP_ATTR_ACMODTIME)
    stat.mtime = static_cast<int64_t>(attributes.mtime);
  if (attributes.flags & LIBSSH2_SFTP_ATTR_PERMISSIONS) {
    if (LIBSSH2_SFTP_S_ISREG(attributes.permissions)) stat.type = SftpType::kFile;
    if (LIBSSH2_SFTP_S_ISDIR(attributes.permissions)) stat.type = SftpType::kDirectory;
  }
  return stat;
}

void SftpSession::CloseHandle(LIBSSH2_SFTP_HANDLE* handle) {
  if (!broken_) Request([&] { return libssh2_sftp_close_handle(handle); });
}

std::optional<std::string> SftpSession::Resolve(const std::string& path) {
  const bool fromHome = path == "~" || path.rfind("~/", 0) == 0;
  if (!fromHome) return path;
  if (home_.empty()) {
    char buffer[kPathBuffer];
    const int length = Request([&] {
      return libssh2_sftp_symlink_ex(sftp_, ".", 1, buffer, sizeof buffer, LIBSSH2_SFTP_REALPATH);
    });
    if (length <= 0) {
      Fail(length, "Home directory");
      return std::nullopt;
    }
    home_.assign(buffer, static_cast<size_t>(length));
  }
  return home_ + path.substr(1);
}

bool SftpSession::Stat(const std::string& path, SftpStat& stat) {
  const std::optional<std::string> real = Usable() ? Resolve(path) : std::nullopt;
  if (!real) return false;
  LIBSSH2_SFTP_ATTRIBUTES attributes{};
  const int result = Request([&] {
    return libssh2_sftp_stat_ex(sftp_, real->data(), static_cast<unsigned>(real->size()),
                                LIBSSH2_SFTP_STAT, &attributes);
  });
  if (result != 0) return Fail(result, "Stat of " + path);
  stat = StatOf(attributes);
  return true;
}

bool SftpSession::Delete(const std::string& path) {
  return OnPath(path, "Delete of ", [&](const std::string& real, unsigned length) {
    return libssh2_sftp_unlink_ex(sftp_, real.data(), length);
  });
}

bool SftpSession::MakeDirectory(const std::string& path) {
  return OnPath(path, "Creating the directory ", [&](const std::string& real, unsigned length) {
    return libssh2_sftp_mkdir_ex(sftp_, real.data(), length, kDirectoryMode);
  });
}

bool SftpSession::RemoveDirectory(const std::string& path) {
  return OnPath(path, "Removing the directory ", [&](const std::string& real, unsigned length) {
    return libssh2_sftp_rmdir_ex(sftp_, real.data(), length);
  });
}

}  // namespace inet
