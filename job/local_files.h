// The local files one transfer line will upload.
#pragma once

#include <string>
#include <vector>

#include "ftp/listed_names.h"

// patternPath is the local directory text followed directly by a file field,
// e.g. "/data/out/*.txt"; the field may carry a directory part of its own
// ("/data/out/sub/a*.csv"). Everything up to the last "/" is the directory
// (the working directory when there is no "/"), the rest is a wildcard
// pattern (see WildcardMatch).
//
// Fills `files` with the bare names of the matching regular files (symbolic
// links followed) of that directory, in byte order, each the exact bytes the
// file system holds. Directories, devices, sockets, fifos and hidden names
// (leading ".") are never listed. False, with the reason in errorText, when
// the directory is missing or cannot be read to its end: a half list would
// silently skip files. Never throws for file-system reasons.
bool ListLocalFiles(const std::string& patternPath, std::vector<ListedFile>& files,
                    std::string& errorText);
