// One entry of a remote listing, and how a listed name is matched against
// the last part of a pattern. Free of libcurl, so that the code which turns
// entries into a transfer line's files needs nothing of the network.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace inet {

// One entry of a remote listing, as MLSD told it or libcurl's own parser
// read a LIST line.
struct FindData {
  std::string cFileName;
  int64_t size = 0;      // -1 where an MLSD listing does not say
  bool is_file = false;  // a plain file or a link to one; not a directory
  bool is_link = false;  // a symbolic link: the size is the link's own
};

// Decides whether a listed name matches the last part of a pattern. The
// pattern rules belong to the client, which hands them in.
using NameMatch = bool (*)(std::string_view pattern, std::string_view name);

}  // namespace inet
