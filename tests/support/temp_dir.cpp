#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <string>
#include <system_error>

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "kestrin-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    throw std::system_error(errno, std::generic_category(), "mkdtemp " + pattern);
  }
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;  // a destructor has no one to report to
  std::filesystem::remove_all(path_, ignored);
}
