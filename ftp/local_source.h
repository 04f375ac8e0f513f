// The local source of an upload: whether it is still the file that was
// sent, and its delete once it moved.
#pragma once

#include <sys/stat.h>

#include <string>

// True when `path` (links followed) still names the file `before`
// described, with the same size and modification time: nothing grew,
// shrank, was written or replaced.
bool SameLocalFile(const std::string& path, const struct stat& before);

// Deletes `path` only if it is still the file `sent` describes. False, with
// the reason, when it could not be deleted or is another file now, which
// then stays where it was.
bool DeleteLocalSource(const std::string& path, const struct stat& sent, std::string& reason);
