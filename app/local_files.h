// The list of local files one transfer line will upload.
#pragma once

#include <string>

// patternPath is the local directory text followed directly by a file field,
// e.g. "/data/out/*.txt"; the field may carry a directory part of its own
// ("/data/out/sub/a*.csv"). Everything up to the last "/" is the directory
// (the working directory when there is no "/"), the rest is a wildcard
// pattern (see WildcardMatch).
//
// Returns the bare names of the matching regular files (symbolic links
// followed) of that directory, in byte order, joined by "," with no blanks.
// Directories, devices, sockets, fifos and hidden names (leading ".") are
// never listed; neither is a name that is not a present value, as it could
// not travel through the comma list. An unreadable or missing directory
// gives "". Never throws for file-system reasons.
std::string LocalFileList(const std::string& patternPath);
