#include "ftp/inet/sftp_host_key.h"

#include <cstdint>
#include <memory>

#include "base/posix_io.h"

namespace inet {

namespace {

constexpr size_t kSha256Bytes = 32;
constexpr int kDefaultSshPort = 22;

// Base64 without the '=' padding, as fingerprints are written.
std::string Base64(const unsigned char* bytes, size_t count) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t at = 0; at < count; at += 3) {
    const size_t left = count - at;
    uint32_t group = uint32_t{bytes[at]} << 16;
    if (left > 1) group |= uint32_t{bytes[at + 1]} << 8;
    if (left > 2) group |= bytes[at + 2];
    const size_t digits = left > 2 ? 4 : left + 1;
    for (size_t digit = 0; digit < digits; ++digit)
      text += kDigits[(group >> (18 - 6 * digit)) & 63];
  }
  return text;
}

// known_hosts' key type for the session's: an entry for the host with a
// key of another type is no verdict on this one.
int KnownHostKeyType(int hostKeyType) {
  switch (hostKeyType) {
    case LIBSSH2_HOSTKEY_TYPE_RSA:
      return LIBSSH2_KNOWNHOST_KEY_SSHRSA;
    case LIBSSH2_HOSTKEY_TYPE_DSS:
      return LIBSSH2_KNOWNHOST_KEY_SSHDSS;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_256:
      return LIBSSH2_KNOWNHOST_KEY_ECDSA_256;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_384:
      return LIBSSH2_KNOWNHOST_KEY_ECDSA_384;
    case LIBSSH2_HOSTKEY_TYPE_ECDSA_521:
      return LIBSSH2_KNOWNHOST_KEY_ECDSA_521;
    case LIBSSH2_HOSTKEY_TYPE_ED25519:
      return LIBSSH2_KNOWNHOST_KEY_ED25519;
    default:
      return LIBSSH2_KNOWNHOST_KEY_UNKNOWN;
  }
}

// The host as known_hosts names it. Matched exactly: an entry for the
// plain host holds for port 22 only.
std::string KnownHostName(const std::string& host, int port) {
  if (port == kDefaultSshPort) return host;
  return "[" + host + "]:" + std::to_string(port);
}

bool CheckKnownHosts(LIBSSH2_SESSION* session, const std::string& file, const std::string& name,
                     const std::string& offered, SftpError& error) {
  size_t length = 0;
  int type = LIBSSH2_HOSTKEY_TYPE_UNKNOWN;
  const char* key = libssh2_session_hostkey(session, &length, &type);
  const std::unique_ptr<LIBSSH2_KNOWNHOSTS, void (*)(LIBSSH2_KNOWNHOSTS*)> known(
      libssh2_knownhost_init(session), libssh2_knownhost_free);
  if (!key || !known || !IsRegularFile(file) ||
      libssh2_knownhost_readfile(known.get(), file.c_str(), LIBSSH2_KNOWNHOST_FILE_OPENSSH) < 0) {
    error = {kSftpHostKeyUnknown, "The known hosts file " + file +
                                      " cannot be read; the server's host key " + offered +
                                      " is unchecked."};
    return false;
  }
  const int verdict = libssh2_knownhost_check(
      known.get(), name.c_str(), key, length,
      LIBSSH2_KNOWNHOST_TYPE_PLAIN | LIBSSH2_KNOWNHOST_KEYENC_RAW | KnownHostKeyType(type),
      nullptr);
  if (verdict == LIBSSH2_KNOWNHOST_CHECK_MATCH) return true;
  if (verdict == LIBSSH2_KNOWNHOST_CHECK_MISMATCH)
    error = {kSftpHostKeyChanged, "The host key of " + name + " has changed: the server offers " +
                                      offered + ", which " + file + " does not hold."};
  else
    error = {kSftpHostKeyUnknown,
             "The host " + name + " is not in " + file + "; its host key is " + offered + "."};
  return false;
}

}  // namespace

std::string HostKeyFingerprint(LIBSSH2_SESSION* session) {
  const char* hash = libssh2_hostkey_hash(session, LIBSSH2_HOSTKEY_HASH_SHA256);
  if (!hash) return "";
  return "SHA256:" + Base64(reinterpret_cast<const unsigned char*>(hash), kSha256Bytes);
}

bool CheckHostKey(LIBSSH2_SESSION* session, const HostKeyCheck& check, const std::string& host,
                  int port, SftpError& error) {
  const std::string offered = HostKeyFingerprint(session);
  if (!check.pin.empty()) {
    if (!offered.empty() && offered == check.pin) return true;
    error = {kSftpHostKeyNotPinned,
             "The server's host key " + offered + " is not the pinned one, " + check.pin + "."};
    return false;
  }
  if (!check.knownHostsFile.empty())
    return CheckKnownHosts(session, check.knownHostsFile, KnownHostName(host, port), offered,
                           error);
  error = {
      kSftpHostKeyUnknown,
      "Neither a pin nor a known hosts file vouches for the server's host key " + offered + "."};
  return false;
}

}  // namespace inet
