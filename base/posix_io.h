// POSIX file plumbing shared by the download writer and the log.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

// Writes all of `data`, resuming after interrupted and short writes.
// 0 when every byte went out, else the errno of the failure.
int WriteAll(int fd, std::string_view data);

// A stdio file that is closed when it goes out of scope.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;
