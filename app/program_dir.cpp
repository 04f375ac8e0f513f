#include "program_dir.h"

#include <filesystem>

std::string ProgramDirectory() {
  // The kernel hands out the executable's path with every link already
  // resolved, whatever name or link the program was started through.
  const std::string exe = std::filesystem::read_symlink("/proc/self/exe").string();
  return exe.substr(0, exe.rfind('/'));
}
