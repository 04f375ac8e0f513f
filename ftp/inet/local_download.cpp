#include "ftp/inet/local_download.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string_view>
#include <utility>

#include "base/posix_io.h"
#include "base/text.h"
#include "ftp/inet/errors.h"

namespace inet {

namespace {
// The program runs one download at a time.
LocalDownload* running_download = nullptr;

// Temporary names: "." + the destination's name + this + six random characters.
constexpr std::string_view kTemporaryMark = ".kestrin-";
constexpr size_t kRandomPart = 6;
// The longest name most file systems, and the servers on them, allow.
constexpr size_t kMaxNameBytes = 255;

// The mark that a temporary file is this program's own: an extended
// attribute set on the open file as it is made, which a user's file of a
// similar name cannot have by chance. Where the file system keeps no user
// attributes the file goes unmarked, and clean-up leaves it alone.
constexpr char kDownloadMark[] = "user.kestrin.download";

bool IsMarked(int fd) { return ::fgetxattr(fd, kDownloadMark, nullptr, 0) >= 0; }

bool IsTemporaryName(std::string_view name) {
  if (name.size() < 1 + kTemporaryMark.size() + kRandomPart || name.front() != '.') return false;
  return name.substr(name.size() - kRandomPart - kTemporaryMark.size(), kTemporaryMark.size()) ==
         kTemporaryMark;
}

// Takes `path` away when it is a download's temporary file that no running
// download holds. The lock is held across the unlink, so that a download
// cannot take the file meanwhile.
void RemoveIfAbandoned(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && IsMarked(fd) &&
      ::flock(fd, LOCK_EX | LOCK_NB) == 0 && StillNamed(fd, path))
    ::unlink(path.c_str());
  ::close(fd);
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};

// Makes the directory's entries (a rename into it) durable.
int SyncDirectory(const std::string& dir) {
  const int fd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int err = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return err;
}

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

}  // namespace

std::string HiddenName(std::string_view name, std::string_view suffix) {
  const std::string whole = "." + std::string(name) + std::string(suffix);
  if (whole.size() <= kMaxNameBytes) return whole;
  char mark[1 + 16 + 1];
  std::snprintf(mark, sizeof mark, "~%016" PRIx64, StableHash(name));
  const size_t room = kMaxNameBytes - 1 - (sizeof mark - 1) - suffix.size();
  return "." + std::string(name.substr(0, room)) + mark + std::string(suffix);
}

void RemoveAbandonedDownloads(const std::string& directory) {
  std::unique_ptr<DIR, DirCloser> dir(::opendir(directory.empty() ? "." : directory.c_str()));
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir.get()))
    if (IsTemporaryName(entry->d_name)) RemoveIfAbandoned(directory + entry->d_name);
}

void RemoveUnfinishedDownload() {
  if (running_download && !running_download->temporary_path().empty())
    ::unlink(running_download->temporary_path().c_str());
}

LocalDownload::LocalDownload(std::string destination) : destination_(std::move(destination)) {}

LocalDownload::~LocalDownload() {
  if (running_download == this) running_download = nullptr;
  writer_.reset();
  behind_.reset();
  if (fd_ >= 0) ::close(fd_);
  if (!committed_ && !temporary_.empty()) ::unlink(temporary_.c_str());
}

bool LocalDownload::Fail(int err) {
  error_ = {ErrorFromErrno(err), {}};
  return false;
}

bool LocalDownload::Create() {
  // The leading "." hides the file from upload patterns and from people.
  const std::string dir = DirectoryOf(destination_);
  const std::string name = destination_.substr(dir.size());
  if (name.empty()) return Fail(EISDIR);
  const std::string stem =
      HiddenName(name, std::string(kTemporaryMark) + std::string(kRandomPart, 'X'));
  if (!CreateLocked(dir, stem)) return false;
  // A new file that replaces nothing gets the usual permissions, not mkstemp's 0600.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd_, 0666 & ~mask);
  running_download = this;
  return true;
}

// A file of less than one block is written at the end in one go; a larger
// one gets a writer thread at its first block.
bool LocalDownload::Write(const char* data, size_t size) {
  pending_.append(data, size);
  return pending_.size() < kBlockSize || WriteBlock(pending_);
}

bool LocalDownload::Write(std::string& block) {
  if (pending_.empty() && (writer_ || block.size() >= kBlockSize)) return WriteBlock(block);
  // A small file's one block waits here as it is; bytes after it join it.
  if (pending_.empty()) {
    pending_.swap(block);
    return true;
  }
  const bool written = Write(block.data(), block.size());
  block.clear();
  return written;
}

bool LocalDownload::WriteNow(const char* data, size_t size) {
  if (const int err = WriteAll(fd_, std::string_view(data, size)); err != 0) return Fail(err);
  written_ += static_cast<off_t>(size);
  // A small file is made durable at its end in one go.
  if (!behind_ && written_ >= static_cast<off_t>(kBlockSize))
    behind_ = std::make_unique<WriteBehind>(fd_);
  if (behind_) behind_->Written(written_);
  return true;
}

bool LocalDownload::WriteBlock(std::string& block) {
  if (!writer_) writer_ = std::make_unique<BlockWriter>(fd_);
  return writer_->Write(block) || Fail(writer_->error());
}

bool LocalDownload::Flush() {
  if (!writer_) {
    off_t written = 0;
    const int err = WriteAndStartDisk(fd_, pending_.data(), pending_.size(), written);
    return err == 0 || Fail(err);
  }
  if (!pending_.empty() && !WriteBlock(pending_)) return false;
  return writer_->Drain() || Fail(writer_->error());
}

// The lock tells a later run that this file is still being written. A run
// that cleaned up between the creation and the lock has taken the file
// away: then a new one is made.
bool LocalDownload::CreateLocked(const std::string& dir, const std::string& stem) {
  for (;;) {
    temporary_ = dir + stem;
    fd_ = ::mkostemp(temporary_.data(), O_CLOEXEC);
    if (fd_ < 0) {
      const int err = errno;
      temporary_.clear();
      return Fail(err);
    }
    if (::flock(fd_, LOCK_EX) != 0) return Fail(errno);
    if (StillNamed(fd_, temporary_)) {
      ::fsetxattr(fd_, kDownloadMark, "", 0, 0);  // unmarked, it is only never cleaned up
      return true;
    }
    ::close(fd_);
    fd_ = -1;
  }
}

bool LocalDownload::Commit() {
  if (!Flush()) return false;
  writer_.reset();
  behind_.reset();
  // The finished file is the user's: whatever its name, clean-up must
  // never take it.
  if (::fremovexattr(fd_, kDownloadMark) != 0 && errno != ENODATA && errno != ENOTSUP)
    return Fail(errno);
  if (::fsync(fd_) != 0) return Fail(errno);
  // Renamed while still open, so still locked: a cleaning run cannot take
  // the file between the last byte and its final name.
  if (::rename(temporary_.c_str(), destination_.c_str()) != 0) return Fail(errno);
  committed_ = true;
  running_download = nullptr;
  const int closed = ::close(fd_);
  fd_ = -1;
  if (closed != 0) return Fail(errno);
  const int err = SyncDirectory(DirectoryOf(destination_));
  return err == 0 || Fail(err);
}

}  // namespace inet
