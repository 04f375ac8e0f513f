#include "job/program_dir.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// The kernel hands out the executable's path with every link already
// resolved, whatever name or link the program was started through.
std::string ProgramFile() { return fs::read_symlink("/proc/self/exe").string(); }

// Either the very same file (links and other names of it too), or, where
// one of them does not exist yet, the same path once made absolute and its
// directories' links resolved: no spelling of a directory tells them apart.
bool SameFile(const fs::path& a, const fs::path& b) {
  std::error_code error;
  if (fs::equivalent(a, b, error)) return true;
  const fs::path realA = fs::weakly_canonical(fs::absolute(a, error), error);
  if (error) return false;
  const fs::path realB = fs::weakly_canonical(fs::absolute(b, error), error);
  return !error && realA == realB;
}

}  // namespace

std::string ProgramDirectory() {
  const std::string exe = ProgramFile();
  return exe.substr(0, exe.rfind('/'));
}

bool IsProgramFile(const std::string& path, const std::string& iniFile,
                   const std::string& logFile) {
  return SameFile(path, iniFile) || SameFile(path, logFile) || SameFile(path, ProgramFile());
}
