#include "job/job_lock.h"

#include "base/posix_io.h"
#include "base/text.h"
#include "settings/ini_lookup.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// One directory per user, whatever the run's environment: a scheduler's
// runs (which have no XDG_RUNTIME_DIR and perhaps another HOME) and a
// user's run of the same job must meet there, so it lies in the home that
// the user database gives. It is the user's own and closed to everyone
// else, so nobody else can make, replace or hold a lock in it; a name in
// /tmp could be taken by anyone before the first run.
constexpr char kCacheDirectory[] = "/.cache";
constexpr char kLockSubdirectory[] = "/.cache/kestrin";
// For a user without a usable home only.
constexpr char kPrivateDirectoryStem[] = "/tmp/kestrin-";
constexpr mode_t kPrivateMode = 0700;
// Bits that let others in: none may be set on the private directory, and
// the runtime directory may not let others write.
constexpr mode_t kOthersAccess = 0077;
constexpr mode_t kOthersWrite = 0022;
constexpr mode_t kLockFileMode = 0600;

// The lock this process holds, removed when the run ends.
std::string held_path;
int held_fd = -1;

// The settings file by its real path, so that two ways of naming it are one job.
std::string CanonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

// The section as the settings reader matches it, so that every spelling
// that reads the same job takes the same lock.
std::string LockName(const std::string& iniFile, const std::string& section) {
  char name[64];
  std::snprintf(name, sizeof name, "kestrin-%016llx.lock",
                static_cast<unsigned long long>(StableHash(
                    CanonicalPath(iniFile) + std::string(1, '\0') + IniNameKey(section))));
  return name;
}

// Whether `dir` itself (not what a link names) is a directory of this user
// that gives others none of `othersBits`; errorText says why not.
bool IsOwnDirectory(const std::string& dir, mode_t othersBits, std::string& errorText) {
  struct stat info {};
  if (::lstat(dir.c_str(), &info) != 0) {
    errorText = dir + ": " + std::strerror(errno);
    return false;
  }
  if (S_ISDIR(info.st_mode) && info.st_uid == ::getuid() && (info.st_mode & othersBits) == 0)
    return true;
  char found[64];
  std::snprintf(found, sizeof found, "owner %u, mode %04o", static_cast<unsigned>(info.st_uid),
                static_cast<unsigned>(info.st_mode & 07777));
  errorText = dir + " is not this user's own directory closed to others (" +
              (S_ISDIR(info.st_mode) ? "" : "not a directory, ") + found + ")";
  return false;
}

// `dir`, made on first use, when it is this user's own and closed to
// others; "" with errorText when it is not.
std::string OwnDirectory(const std::string& dir, std::string& errorText) {
  if (::mkdir(dir.c_str(), kPrivateMode) != 0 && errno != EEXIST) {
    errorText = dir + ": " + std::strerror(errno);
    return "";
  }
  return IsOwnDirectory(dir, kOthersAccess, errorText) ? dir : "";
}

// The home directory of the user database, when it is there and this
// user's own: the same for every run of the user, whatever its HOME.
std::string UserHome() {
  const passwd* user = ::getpwuid(::getuid());
  std::string ignored;
  if (!user || !user->pw_dir || user->pw_dir[0] != '/') return "";
  const std::string home = user->pw_dir;
  return IsOwnDirectory(home, kOthersWrite, ignored) ? home : "";
}

// The lock directory in the user's home. Without a home the run may write
// to (a service's may be read-only), a private directory in /tmp, or where
// someone else has taken its name, the session's runtime directory when
// that is sound; a run without either ends and says why, rather than run
// beside a run locked elsewhere.
std::string LockDirectory(std::string& errorText) {
  const std::string home = UserHome();
  if (!home.empty()) {
    // A failure shows in the next step. A link in place of the cache
    // directory is the user's own choice, and followed.
    static_cast<void>(::mkdir((home + kCacheDirectory).c_str(), kPrivateMode));
    const std::string dir = home + kLockSubdirectory;
    if (::mkdir(dir.c_str(), kPrivateMode) == 0 || errno == EEXIST) {
      if (!IsOwnDirectory(dir, kOthersAccess, errorText)) return "";
      // On a read-only home an earlier run's directory is still there, but
      // no lock can be made in it.
      if (::access(dir.c_str(), W_OK) == 0) return dir;
    }
  }
  std::string dir = OwnDirectory(kPrivateDirectoryStem + std::to_string(::getuid()), errorText);
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  std::string ignored;
  if (dir.empty() && runtime && *runtime == '/' && IsOwnDirectory(runtime, kOthersWrite, ignored))
    dir = runtime;
  return dir;
}

}  // namespace

JobLock TakeJobLock(const std::string& iniFile, const std::string& section,
                    std::string& errorText) {
  const std::string dir = LockDirectory(errorText);
  if (dir.empty()) return JobLock::kFailed;
  const std::string path = dir + "/" + LockName(iniFile, section);
  for (;;) {
    // Never closed until the run ends: the lock lasts as long as the run.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, kLockFileMode);
    const int err = fd < 0 || ::flock(fd, LOCK_EX | LOCK_NB) != 0 ? errno : 0;
    if (err == 0 && StillNamed(fd, path)) {
      held_path = path;
      held_fd = fd;
      return JobLock::kTaken;
    }
    if (fd >= 0) ::close(fd);
    if (err == EWOULDBLOCK) return JobLock::kBusy;
    if (err != 0) {
      errorText = path + ": " + std::strerror(err);
      return JobLock::kFailed;
    }
  }
}

void ReleaseJobLock() {
  if (held_fd < 0) return;
  // Removed while still locked: a start that opened it meanwhile finds it
  // no longer named and makes a new one.
  ::unlink(held_path.c_str());
  ::close(held_fd);
  held_fd = -1;
}
