#include "ftp/local_source.h"

#include <fcntl.h>
#include <stdio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ftp/inet/local_download.h"

namespace {

// The hidden name a source is set aside under for its last check.
constexpr char kAsideSuffix[] = ".kestrin-sent";
constexpr char kReplaced[] = "it was replaced or changed after it was sent";

std::string AsideName(const std::string& path) {
  const size_t leaf = path.rfind('/') + 1;  // 0 when there is no "/"
  return path.substr(0, leaf) + inet::HiddenName(path.substr(leaf), kAsideSuffix);
}

// Renames `from` to `to` unless `to` exists (EEXIST then); 0 or the errno.
// Where the file system cannot rename so (NFS among others), a link, which
// never replaces, and the old name's removal do the same, with a window of
// microseconds between the two.
int RenameNoReplace(const std::string& from, const std::string& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(from.c_str(), to.c_str()) != 0) return errno;
  return ::unlink(from.c_str()) == 0 ? 0 : errno;
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
// uses; one that an earlier run had to keep there is never replaced. A
// file that is not the one sent goes back, without replacing a yet newer
// one (else it stays set aside, and the reason names it). What
// remains: a writer that changes the sent file itself, in place, between
// the check and the unlink, a few microseconds, loses that change.
bool DeleteLocalSource(const std::string& path, const struct stat& sent, std::string& reason) {
  const std::string aside = AsideName(path);
  if (const int err = RenameNoReplace(path, aside); err != 0) {
    reason = std::strerror(err);
    if (err == EEXIST) reason = "an earlier version is kept as " + aside;
    return false;
  }
  if (!SameLocalFile(aside, sent))
    reason = kReplaced;
  else if (::unlink(aside.c_str()) == 0)
    return true;
  else
    reason = std::strerror(errno);
  if (RenameNoReplace(aside, path) != 0) reason += "; it is kept as " + aside;
  return false;
}
