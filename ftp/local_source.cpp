#include "local_source.h"

#include <fcntl.h>
#include <stdio.h>

#include <cerrno>
#include <cstring>

#include "inet/local_download.h"

namespace {

// The hidden name a source is set aside under for its last check.
constexpr char kAsideSuffix[] = ".kestrin-sent";
constexpr char kReplaced[] = "it was replaced or changed after it was sent";

std::string AsideName(const std::string& path) {
  const size_t leaf = path.rfind('/') + 1;  // 0 when there is no "/"
  return path.substr(0, leaf) + inet::HiddenName(path.substr(leaf), kAsideSuffix);
}

}  // namespace

bool SameLocalFile(const std::string& path, const struct stat& before) {
  struct stat now {};
  return ::stat(path.c_str(), &now) == 0 && now.st_dev == before.st_dev &&
         now.st_ino == before.st_ino && now.st_size == before.st_size &&
         now.st_mtim.tv_sec == before.st_mtim.tv_sec &&
         now.st_mtim.tv_nsec == before.st_mtim.tv_nsec;
}

// A producer may rename a new version over the path at any moment. The
// source is first renamed aside, which takes whatever file the path names
// at that instant and leaves a new version free to arrive under the path;
// the file set aside is then checked and deleted under a name no producer
// uses. A file that is not the one sent goes back, without replacing a yet
// newer one (else it stays set aside, and the reason names it). What
// remains: a writer that changes the sent file itself, in place, between
// the check and the unlink, a few microseconds, loses that change.
bool DeleteLocalSource(const std::string& path, const struct stat& sent, std::string& reason) {
  const std::string aside = AsideName(path);
  if (::rename(path.c_str(), aside.c_str()) != 0) {
    reason = std::strerror(errno);
    return false;
  }
  if (!SameLocalFile(aside, sent))
    reason = kReplaced;
  else if (::unlink(aside.c_str()) == 0)
    return true;
  else
    reason = std::strerror(errno);
  if (::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) != 0)
    reason += "; it is kept as " + aside;
  return false;
}
