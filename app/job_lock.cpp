#include "job_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The same directory for every start, whatever its environment: a
// scheduler's runs and a user's run of the same job must meet there.
constexpr char kLockDirectory[] = "/tmp/";

// FNV-1a: the same job gives the same name in every run and every build.
uint64_t NameHash(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

// The settings file by its real path, so that two ways of naming it are one job.
std::string CanonicalPath(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) ? std::string(resolved) : path;
}

std::string LockPath(const std::string& iniFile, const std::string& section) {
  char name[64];
  std::snprintf(name, sizeof name, "kestrin-%u-%016llx.lock", static_cast<unsigned>(::getuid()),
                static_cast<unsigned long long>(
                    NameHash(CanonicalPath(iniFile) + std::string(1, '\0') + section)));
  return kLockDirectory + std::string(name);
}

}  // namespace

JobLock TakeJobLock(const std::string& iniFile, const std::string& section,
                    std::string& errorText) {
  const std::string path = LockPath(iniFile, section);
  // Never closed: the lock lasts as long as the process.
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) return JobLock::kTaken;
  const int err = errno;
  if (fd >= 0) ::close(fd);
  if (fd >= 0 && err == EWOULDBLOCK) return JobLock::kBusy;
  errorText = path + ": " + std::strerror(err);
  return JobLock::kFailed;
}
