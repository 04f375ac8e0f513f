#include "local_download.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <utility>

#include "errors.h"

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
  writer_.reset();
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

// A file of less than one block is written at the end in one go; a larger
// one gets a writer thread at its first block.
bool LocalDownload::Write(const char* data, size_t size) {
  pending_.append(data, size);
  if (pending_.size() < kFlushSize) return true;
  if (!writer_) writer_ = std::make_unique<BlockWriter>(fd_);
  std::string block = std::move(pending_);
  pending_ = std::string();
  pending_.reserve(kFlushSize + size);
  return writer_->Write(std::move(block)) || Fail(writer_->error());
}

bool LocalDownload::Flush() {
  if (!writer_) {
    off_t written = 0;
    const int err = WriteAndStartDisk(fd_, pending_.data(), pending_.size(), written);
    return err == 0 || Fail(err);
  }
  if (!pending_.empty() && !writer_->Write(std::move(pending_))) return Fail(writer_->error());
  return writer_->Drain() || Fail(writer_->error());
}

bool LocalDownload::Commit() {
  if (!Flush()) return false;
  writer_.reset();
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
