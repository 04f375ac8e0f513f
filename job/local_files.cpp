#include "job/local_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "ftp/wildcard.h"

namespace {

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool Listable(DIR* dir, const std::string& name, const std::string& pattern) {
  if (name.empty() || name.front() == '.') return false;
  if (!WildcardMatch(pattern, name)) return false;
  // fstatat without AT_SYMLINK_NOFOLLOW: a link to a file counts as that
  // file, a dangling link or a link to a directory does not.
  struct stat info;
  return fstatat(dirfd(dir), name.c_str(), &info, 0) == 0 && S_ISREG(info.st_mode);
}

std::string ReadFailure(const std::string& directory, int err) {
  return "The local directory " + directory + " cannot be read: " + std::strerror(err);
}

}  // namespace

bool ListLocalFiles(const std::string& patternPath, std::vector<ListedFile>& files,
                    std::string& errorText) {
  const size_t slash = patternPath.rfind('/');
  std::string directory = ".";
  if (slash == 0)
    directory = "/";
  else if (slash != std::string::npos)
    directory = patternPath.substr(0, slash);
  const std::string pattern =
      slash == std::string::npos ? patternPath : patternPath.substr(slash + 1);

  files.clear();
  DirHandle dir(opendir(directory.c_str()));
  if (!dir) {
    errorText = ReadFailure(directory, errno);
    return false;
  }
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) break;
    if (Listable(dir.get(), entry->d_name, pattern)) files.push_back({entry->d_name});
  }
  if (errno != 0) {
    errorText = ReadFailure(directory, errno);
    files.clear();
    return false;
  }
  // Directory order is whatever the file system keeps; sort so that a job
  // always moves the same files in the same order.
  std::ranges::sort(files, {}, &ListedFile::name);
  return true;
}
