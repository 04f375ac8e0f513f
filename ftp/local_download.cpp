#include "local_download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "inet_errors.h"
#include "inet_last_error.h"

namespace inet {

namespace {
// The program runs one download at a time.
LocalDownload* running_download = nullptr;
}  // namespace

void RemoveUnfinishedDownload() {
  if (running_download && !running_download->temporary_path().empty())
    ::unlink(running_download->temporary_path().c_str());
}

LocalDownload::LocalDownload(std::string destination) : destination_(std::move(destination)) {}

LocalDownload::~LocalDownload() {
  if (running_download == this) running_download = nullptr;
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

bool LocalDownload::Fail(int err) {
  error_ = ErrorFromErrno(err);
  SetLastError(error_);
  return false;
}

bool LocalDownload::Create() {
  // The leading "." hides the file from upload patterns and from people.
  size_t slash = destination_.rfind('/');
  std::string dir = slash == std::string::npos ? "" : destination_.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? destination_ : destination_.substr(slash + 1);
  if (name.empty()) return Fail(EISDIR);
  // Keep the temporary name within the usual 255-byte limit of a name.
  std::string stem = "." + name.substr(0, 200) + ".kestrin-XXXXXX";
  temporary_ = dir + stem;
  fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
  if (fd_ < 0) {
    int err = errno;
    temporary_.clear();
    return Fail(err);
  }
  // A new file that replaces nothing gets the usual permissions, not mkstemp's 0600.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  running_download = this;
  return true;
}

namespace {
constexpr size_t kFlushSize = 256 * 1024;
}  // namespace

bool LocalDownload::Write(const char* data, size_t size) {
  pending_.append(data, size);
  return pending_.size() < kFlushSize || Flush();
}

bool LocalDownload::Flush() {
  const char* data = pending_.data();
  size_t size = pending_.size();
  const off_t start = flushed_;
  while (size > 0) {
    ssize_t written = ::write(fd_, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return Fail(errno);
    }
    data += written;
    size -= static_cast<size_t>(written);
    flushed_ += written;
  }
  // The disk starts on these bytes now rather than all at once when the
  // download is made durable at its end: the final sync then waits for
  // little more than the last pieces. Only a hint; failures show at the sync.
  if (flushed_ > start) ::sync_file_range(fd_, start, flushed_ - start, SYNC_FILE_RANGE_WRITE);
  pending_.clear();
  return true;
}

bool LocalDownload::Commit() {
  if (!Flush()) return false;
  if (::fsync(fd_) != 0) return Fail(errno);
  int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) return Fail(errno);
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) return Fail(errno);
  committed_ = true;
  running_download = nullptr;
  return true;
}

}  // namespace inet
