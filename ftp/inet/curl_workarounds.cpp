#include "ftp/inet/curl_workarounds.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <utility>

#include "ftp/inet/remote_path.h"
#include "ftp/inet/socket_checks.h"

namespace inet {

namespace {

constexpr size_t kOutside = std::string_view::npos;

// The bytes the parser used for the entry; empty when libcurl gave none.
std::string_view EntryOf(const curl_fileinfo& info) {
  return info.b_data ? std::string_view(info.b_data, info.b_used) : std::string_view();
}

// Where `p` lies in `entry`, or kOutside. Compared as addresses, as `p`
// may point anywhere.
size_t OffsetIn(std::string_view entry, const char* p) {
  const auto begin = reinterpret_cast<std::uintptr_t>(entry.data());
  const auto at = reinterpret_cast<std::uintptr_t>(p);
  return p && at >= begin && at - begin < entry.size() ? at - begin : kOutside;
}

// A pattern matches a name with blanks in front that it does not match
// bare only where, after its leading "*"s, a blank or a "?" comes first:
// anything else must meet the name's own first character, or a later one,
// which the "*"s reach in the bare name as well.
bool CouldTakeBlanks(std::string_view pattern) {
  const size_t first = pattern.find_first_not_of('*');
  return first != std::string_view::npos && (pattern[first] == ' ' || pattern[first] == '?');
}

// OpenSSL's verification results (X509_V_ERR_*) that libcurl leaves behind
// a host name it refused itself, beside OpenSSL's own for a mismatch.
constexpr long kVerifyOk = 0;
constexpr long kVerifyUnspecified = 1;
constexpr long kVerifyHostMismatch = 62;

// The first libcurl that protects an active data connection: 8.0.0.
constexpr unsigned kFirstActiveTlsVersion = 0x080000;

}  // namespace

std::string ListedName(const curl_fileinfo& info) {
  const std::string_view entry = EntryOf(info);
  const size_t nameAt = OffsetIn(entry, info.filename);
  // A name outside the entry is libcurl's own string, to be taken as it is.
  if (nameAt == kOutside) return info.filename ? info.filename : "";
  const std::string_view bare = entry.substr(nameAt, entry.find('\0', nameAt) - nameAt);
  const size_t timeAt = OffsetIn(entry, info.strings.time);
  if (!info.strings.perm || bare.empty() || timeAt == kOutside || timeAt >= nameAt)
    return std::string(bare);
  const size_t timeEnd = entry.find('\0', timeAt);
  if (timeEnd >= nameAt) return std::string(bare);
  const std::string_view between = entry.substr(timeEnd + 1, nameAt - timeEnd - 1);
  if (between.find_first_not_of(' ') != std::string_view::npos) return std::string(bare);
  std::string exact(between);
  exact += bare;
  return exact;
}

bool MayMatchListed(std::string_view pattern, std::string_view bareName, NameMatch match) {
  return CouldTakeBlanks(pattern) || match(pattern, bareName);
}

FreshListingHandle::FreshListingHandle(CURL*& easy)
    : easy_(easy), own_(std::exchange(easy, curl_easy_init())) {}

FreshListingHandle::~FreshListingHandle() {
  curl_easy_cleanup(easy_);
  easy_ = own_;
}

bool ListingCompleted(std::string_view lastReply) { return lastReply.starts_with('2'); }

std::string CommandUrlPath() { return UrlPath("/"); }

std::string SizeReply(const std::vector<std::string>& replies) {
  const size_t n = replies.size();
  return n >= 2 ? replies[n - 2] : std::string();
}

// A socket that cannot be held stays libcurl's alone: it then ends as
// libcurl ends it.
void HeldSocket::Hold(curl_socket_t socket) {
  Release();
  held_ = ::fcntl(socket, F_DUPFD_CLOEXEC, 0);
}

void HeldSocket::Release() {
  if (held_ >= 0) ::close(held_);
  held_ = -1;
}

void HeldSocket::Reset() {
  if (held_ >= 0) ResetOnClose(held_);
  Release();
}

bool ActiveTlsProtected(unsigned libcurlVersion) {
  return libcurlVersion >= kFirstActiveTlsVersion;
}

bool HostNameFailed(long verifyResult) {
  return verifyResult == kVerifyHostMismatch || verifyResult == kVerifyOk ||
         verifyResult == kVerifyUnspecified;
}

}  // namespace inet
