// POSIX file plumbing shared by the download writer, the uploads and the log.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include <sys/stat.h>

// Writes all of `data`, resuming after interrupted and short writes.
// 0 when every byte went out, else the errno of the failure.
int WriteAll(int fd, std::string_view data);

// True when the open file `fd` is still the file that `path` names, not
// following a link at `path`: a file that was removed or replaced after it
// was opened and locked holds a lock that nobody else will look at.
bool StillNamed(int fd, const std::string& path);

// A stdio file that is closed when it goes out of scope.
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

// Opens `path` (links followed) for reading without waiting: a FIFO or a
// device in a file's place would hold a plain open, or its first read,
// until a writer came. `info` then tells what it is; a regular file's
// descriptor blocks again, as its reads never wait for a writer. -1 with
// errno when it cannot be opened.
int OpenWithoutWaiting(const std::string& path, struct stat& info);

// Whether `path` (links followed) names a regular file, asked without
// opening it: for a file that a library opens plainly, which would wait
// for ever on a FIFO put in its place.
bool IsRegularFile(const std::string& path);

// Opens `path` (links followed) for reading, and only when it is a regular
// file, whose status then is in `info`. It never waits: a FIFO put in a
// file's place would block a plain open until a writer came. nullptr with
// errno set otherwise (EACCES for a file that is not a regular one).
UniqueFile OpenRegularFile(const std::string& path, struct stat& info);
