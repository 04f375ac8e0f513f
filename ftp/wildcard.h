// File-name wildcards as users of this tool write them, applied the same way
// to local and remote names.
#pragma once

#include <string_view>

// "*" matches any run of characters, "?" exactly one; nothing else is special
// and case matters. "*.*" matches every name, dot or not, because people
// coming from Windows write it to mean "all files".
bool WildcardMatch(std::string_view pattern, std::string_view name);
