// Remote paths. The layer sends every path to the server in absolute form,
// resolved against the directory it keeps as current, so that no operation
// depends on where libcurl last left the server's own working directory.
#pragma once

#include <string>
#include <string_view>

namespace inet {

// The absolute form of `path` seen from the absolute directory `cwd`:
// "." and empty steps dropped, ".." taken back (never above "/").
std::string ResolveRemotePath(std::string_view cwd, std::string_view path);

// The part of an absolute path before its last "/" ("/" for a top-level
// name) and the part after it.
std::string_view ParentOf(std::string_view absolutePath);
std::string_view LeafOf(std::string_view absolutePath);

// The URL path that makes libcurl send `absolutePath` unchanged: each byte
// outside the unreserved set percent-encoded, the leading "/" as "%2F".
std::string UrlPath(std::string_view absolutePath);

}  // namespace inet
