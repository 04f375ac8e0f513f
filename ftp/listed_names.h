// Turning the entries of a remote listing into the files a transfer line
// works through, and into the comma list of names older callers read.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace inet {
struct FindData;
}  // namespace inet

// One file of a transfer line: its bare name as the exact bytes it has on
// its side, and what its listing said about it.
struct ListedFile {
  std::string name;
  int64_t size = -1;     // bytes, as listed; -1 when the listing gave none
  bool is_link = false;  // listed as a symbolic link: its size is the link's own
};

// The bare names (the part after the last "/") in the server's order, with
// the listed size and kind of each; "." and ".." never, as they are not
// files. With filesOnly, directories are left out too.
std::vector<ListedFile> ListedFiles(std::vector<inet::FindData>&& entries, bool filesOnly);

// The names of ListedFiles joined by ",".
std::string JoinListedNames(const std::vector<inet::FindData>& entries, bool filesOnly);
