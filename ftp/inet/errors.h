// The error codes of the internet layer. They are the documented numeric
// codes of the classic Windows internet client library, because users'
// scripts and habits know them; the messages are our own, one line each.
#pragma once

#include <curl/curl.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace inet {

enum ErrorCode : int32_t {
  kFileNotFound = 2,      // local file
  kAccessDenied = 5,      // local file
  kNotConnected = 6,      // no connection handle
  kNoMoreFiles = 18,      // nothing on the server matches
  kWriteFault = 29,       // local file could not be written
  kReadFault = 30,        // local file could not be read
  kEmptyName = 87,        // an empty local or remote name
  kSizeMismatch = 23,     // the server holds another size than was sent
  kSourceChanged = 1006,  // the source changed while it was transferred
  kDiskFull = 112,        // local disk
  kInvalidName = 123,     // a name that cannot be sent to the server
  kTimeout = 12002,
  kExtendedError = 12003,  // the server refused; its reply explains
  kInternalError = 12004,
  kNameNotResolved = 12007,
  kLoginFailure = 12015,
  kActiveTlsUnsupported = 12016,  // TLS asked for in active mode, which cannot have it here
  kCannotConnect = 12029,
  kConnectionAborted = 12030,
  kCertificateDate = 12037,    // expired or not yet valid
  kCertificateName = 12038,    // issued for another host name
  kCertificateIssuer = 12045,  // from an issuer nobody trusts here
  kCertificateInvalid = 12055,
  kTlsNotOffered = 12059,          // the server refused AUTH TLS
  kForeignDataConnection = 12111,  // active mode: the data connection came from elsewhere
  kInvalidServerResponse = 12152,
  kListingUnreadable = 13,  // a directory listing in no form the client reads
  kTlsHandshake = 12157,
  kCaFileUnreadable = 12169,
  // SFTP, numbered as the SFTP side numbers them (sftp_errors.h).
  kSshLoginRefused = 14002,   // neither the key nor the password was accepted
  kHostKeyUnknown = 14003,    // nothing vouches for the server's host key
  kHostKeyChanged = 14004,    // known_hosts holds another key for the host
  kHostKeyNotPinned = 14005,  // the host key is not the pinned one
  kPermissionDenied = 14006,  // the server's file or directory
  kNoSuchRemoteFile = 14007,  // nor directory
};

// Our message for a code, or "" for a code we have no message for.
std::string_view ErrorMessage(int32_t code);

// The code that stands for a libcurl result.
int32_t ErrorFromCurl(CURLcode result);

// The code for a certificate that failed its check, from the TLS library's
// verification result (CURLINFO_SSL_VERIFYRESULT).
int32_t ErrorFromCertificate(long verifyResult);

// The code that stands for a failed local file operation (errno).
int32_t ErrorFromErrno(int err);

struct SftpError;
struct Error;

// The error of the layer that stands for an SFTP session's.
Error ErrorFromSftp(const SftpError& error);

// What a failed operation of the layer leaves behind. The object that
// failed holds it, to be read at once after the failure: the session for a
// connection it could not open, the connection for its operations and its
// streamed files, the local download for its file.
struct Error {
  Error() = default;
  Error(int32_t code, std::string reply, std::string detail = {})
      : code(code), reply(std::move(reply)), detail(std::move(detail)) {}

  int32_t code = 0;
  // The server's last reply line, control characters replaced by blanks;
  // for kExtendedError, the server's own words on its refusal.
  std::string reply;
  // What exactly failed, beyond the code's message (the SFTP side's own
  // words: which path, which host key); "" where the message says it all.
  std::string detail;
};

}  // namespace inet
