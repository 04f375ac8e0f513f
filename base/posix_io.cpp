#include "base/posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

int WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    // A write that takes nothing would be tried again for ever.
    if (n == 0) return EIO;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

int OpenWithoutWaiting(const std::string& path, struct stat& info) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return -1;
  int flags = 0;
  if (::fstat(fd, &info) == 0 &&
      (!S_ISREG(info.st_mode) ||
       ((flags = ::fcntl(fd, F_GETFL)) >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)))
    return fd;
  const int err = errno;
  ::close(fd);
  errno = err;
  return -1;
}

UniqueFile OpenRegularFile(const std::string& path, struct stat& info) {
  const int fd = OpenWithoutWaiting(path, info);
  if (fd < 0) return nullptr;
  int err = EACCES;
  if (S_ISREG(info.st_mode)) {
    if (std::FILE* file = ::fdopen(fd, "rb")) return UniqueFile(file);
    err = errno;
  }
  ::close(fd);
  errno = err;
  return nullptr;
}

bool StillNamed(int fd, const std::string& path) {
  struct stat open {
  }, named{};
  return ::fstat(fd, &open) == 0 && ::lstat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}
