#include "local_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

#include "present_value.h"
#include "wildcard.h"

namespace {

constexpr char kListSeparator = ',';

struct DirCloser {
  void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

bool Listable(DIR* dir, const std::string& name, const std::string& pattern) {
  if (!IsPresent(name) || name.front() == '.') return false;
  if (!WildcardMatch(pattern, name)) return false;
  // fstatat without AT_SYMLINK_NOFOLLOW: a link to a file counts as that
  // file, a dangling link or a link to a directory does not.
  struct stat info;
  return fstatat(dirfd(dir), name.c_str(), &info, 0) == 0 && S_ISREG(info.st_mode);
}

// Matching names in directory order, or nothing at all when the directory
// cannot be read through to its end: a half list would silently skip files.
std::vector<std::string> MatchingNames(const std::string& directory, const std::string& pattern) {
  std::vector<std::string> names;
  DirHandle dir(opendir(directory.c_str()));
  if (!dir) return names;
  for (;;) {
    errno = 0;
    const dirent* entry = readdir(dir.get());
    if (entry == nullptr) break;
    if (Listable(dir.get(), entry->d_name, pattern)) names.emplace_back(entry->d_name);
  }
  if (errno != 0) names.clear();
  return names;
}

}  // namespace

std::string LocalFileList(const std::string& patternPath) {
  const size_t slash = patternPath.rfind('/');
  std::string directory = ".";
  if (slash == 0)
    directory = "/";
  else if (slash != std::string::npos)
    directory = patternPath.substr(0, slash);
  const std::string pattern =
      slash == std::string::npos ? patternPath : patternPath.substr(slash + 1);

  std::vector<std::string> names = MatchingNames(directory, pattern);
  // Directory order is whatever the file system keeps; sort so that a job
  // always moves the same files in the same order.
  std::sort(names.begin(), names.end());
  std::string list;
  for (const std::string& name : names) {
    if (!list.empty()) list += kListSeparator;
    list += name;
  }
  return list;
}
