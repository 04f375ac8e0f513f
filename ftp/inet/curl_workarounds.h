// Every place where the layer works around how libcurl behaves, rather than
// how FTP does. Each was checked on libcurl 7.88.1 (Debian 12), the version
// the tests run on; the notes say where a version is known to differ. On
// another libcurl, look here first.
#pragma once

#include <curl/curl.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "ftp/inet/find_data.h"

namespace inet {

// --- Names in a LIST listing ---------------------------------------------

// libcurl's LIST parser skips every blank between the time and the name of
// a Unix-style line, where the line has exactly one: blanks beyond it are
// the name's own. They lie in the entry's buffer just before the name,
// after the NUL that ends the time. The exact name is read back from there;
// an entry laid out otherwise gives the bare name libcurl reported, and
// nothing outside the entry's buffer is ever read. (7.88.1)
std::string ListedName(const curl_fileinfo& info);

// libcurl asks about each name before the entry is whole, with the bare
// name alone: true when the pattern may match it with blanks in front, so
// that ListedName can decide once the entry is known. Without such blanks
// in reach of the pattern the answer is exact, and libcurl keeps no entry
// that cannot match. (7.88.1)
bool MayMatchListed(std::string_view pattern, std::string_view bareName, NameMatch match);

// libcurl 7.88 frees the entries of a wildcard listing only when it is its
// handle's first request: on a handle that served another, every entry
// leaks (over 300 bytes each). So each listing gets a handle of its own for
// as long as this lives; the control connection is the same one, kept by
// the multi handle. (7.88.1)
class FreshListingHandle {
 public:
  // Puts a fresh handle in `easy`, which is null when none could be made.
  explicit FreshListingHandle(CURL*& easy);
  // Cleans up the fresh handle and puts the connection's own one back.
  ~FreshListingHandle();
  FreshListingHandle(const FreshListingHandle&) = delete;
  FreshListingHandle& operator=(const FreshListingHandle&) = delete;

 private:
  CURL*& easy_;
  CURL* own_;
};

// libcurl reports a wildcard listing in which nothing matched as a missing
// file, and a directory the server would not list the same way; it takes a
// 450 to an MLSD listing for an empty directory; and it keeps no response
// code through a wildcard listing. Only the server's last reply line, the
// listing's completion or a refusal, tells them apart. (7.88.1)
bool ListingCompleted(std::string_view lastReply);

// --- Quoted commands -------------------------------------------------------

// libcurl follows quoted commands (CURLOPT_QUOTE) on the URL "/" with a CWD
// to the login's directory whenever it has not seen where the connection's
// previous operation left the server: on a connection it opened again after
// a drop, when that connection's first operation named an absolute path.
// Should that CWD fail (a dropped connection, 421, 501), the whole operation
// fails although the server did the commands and confirmed them: a deleted
// file reported as kept, a renamed one as not renamed. This URL path, an
// absolute "/" that names no file, needs no CWD under CURLFTPMETHOD_NOCWD,
// so nothing follows the commands and only their own replies can fail the
// operation. (CURLOPT_POSTQUOTE would not do: libcurl sends those blocking,
// in its "done" phase, where the window would wait on the server.) (7.88.1)
std::string CommandUrlPath();

// --- SIZE and MDTM ---------------------------------------------------------

// libcurl asks SIZE (and MDTM) of a file without moving it; it reads a
// refused MDTM, and any refused SIZE but 550, as "not said". The SIZE reply
// is the last but one, before the REST 0 that libcurl sends last: this is
// it, from the final lines of the operation's replies ("" when there is
// none). (7.88.1)
std::string SizeReply(const std::vector<std::string>& replies);

// --- Sockets ---------------------------------------------------------------

// The longest a transfer waits for its sockets before libcurl looks again.
// Kept short because libcurl sometimes waits for the first data connection
// of a session without a descriptor to poll: a long wait here adds its
// whole length to such a transfer. (7.88.1)
inline constexpr int kLongestWaitMs = 10;

// libcurl's stall watch (CURLOPT_LOW_SPEED_*) takes its rate over about its
// last five seconds and counts only the bytes it sent itself. An upload
// whose bytes mostly go past it must still hand it this many at a time:
// one such hand-off in that span then reads as well above a byte a second,
// where a single byte (0.2 B/s) would cut off as stalled the upload to a
// server that takes its bytes slowly, its socket draining only every few
// seconds. (7.88.1)
inline constexpr size_t kStallWatchBytes = 4096;

// A second descriptor of one of libcurl's sockets, which keeps the
// connection open until it is let go, however libcurl closes its own: in
// order (Release), or with a reset (Reset). libcurl calls no close callback
// for an accepted data connection, and closes a failed transfer's in order,
// so this is the one way to end every such connection as broken. (7.88.1)
class HeldSocket {
 public:
  HeldSocket() = default;
  HeldSocket(const HeldSocket&) = delete;
  HeldSocket& operator=(const HeldSocket&) = delete;
  ~HeldSocket() { Release(); }

  void Hold(curl_socket_t socket);
  // The held descriptor, -1 when none.
  int descriptor() const { return held_; }
  void Release();
  void Reset();

 private:
  int held_ = -1;
};

// --- TLS -------------------------------------------------------------------

// libcurl 7.87 and 7.88 accept an active-mode data connection without
// putting TLS on it (mended in 8.0.0): no transfer rather than one in
// clear. True for a libcurl (its version number, as curl_version_info
// gives it) that protects them. (7.88.1 refused, as it should be.)
bool ActiveTlsProtected(unsigned libcurlVersion);

// Over TLS 1.3, libcurl loses the control connection's TLS session after an
// upload, and a server that demands every data connection resume it refuses
// the next one; TLS 1.2 keeps it. So TLS 1.2 it is, the least as well as
// the most (the least Debian's OpenSSL accepts anyway). (7.88.1)
inline constexpr long kTlsVersions =
    static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2);

// libcurl checks the server's host name itself once the certificate chain
// is accepted, leaving the TLS library's verification result as it was
// before the check ("OK" or "unspecified"): true when a failed verification
// with this result was the host name's. (7.88.1)
bool HostNameFailed(long verifyResult);

}  // namespace inet
