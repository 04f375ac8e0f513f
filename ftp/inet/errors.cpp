#include "ftp/inet/errors.h"

#include <cerrno>

#include "ftp/inet/curl_workarounds.h"
#include "ftp/inet/sftp_errors.h"

namespace inet {

namespace {

struct Message {
  int32_t code;
  std::string_view text;
};

constexpr Message kMessages[] = {
    {kFileNotFound, "The local file or folder does not exist."},
    {kAccessDenied, "Access to the local file was denied."},
    {kNotConnected, "There is no connection to the server."},
    {kNoMoreFiles, "No such file on the server."},
    {kWriteFault, "The local file could not be written."},
    {kReadFault, "The local file could not be read."},
    {kListingUnreadable, "The server's listing could not be read."},
    {kEmptyName, "A local or remote file name is empty."},
    {kSizeMismatch, "The server holds a different number of bytes than were sent."},
    {kSourceChanged, "The source file changed while it was transferred."},
    {kDiskFull, "There is not enough space on the local disk."},
    {kInvalidName, "The name contains a control character and cannot be sent to the server."},
    {kTimeout, "The operation timed out."},
    {kExtendedError, "The server refused the request."},
    {kInternalError, "An internal error occurred in the FTP client."},
    {kNameNotResolved, "The server name or address could not be resolved."},
    {kLoginFailure, "The server refused the login: wrong user name or password."},
    {kCannotConnect, "A connection with the server could not be established."},
    {kConnectionAborted, "The connection with the server ended unexpectedly."},
    {kInvalidServerResponse, "The server sent a reply that is not valid FTP."},
    {kForeignDataConnection,
     "Active mode: a data connection came from another address than the server's and was "
     "refused."},
    {kActiveTlsUnsupported,
     "TLS: this system's FTP library cannot protect the data connections of active mode; use "
     "passive mode (mode=PASIVE)."},
    {kCertificateDate,
     "TLS certificate: the server's certificate has expired or is not yet valid."},
    {kCertificateName, "TLS certificate: the server's certificate is for another host name."},
    {kCertificateIssuer,
     "TLS certificate: the server's certificate is from an unknown issuer (trust it with "
     "cafile)."},
    {kCertificateInvalid, "TLS certificate: the server's certificate could not be verified."},
    {kTlsNotOffered, "TLS: the server offers no TLS; nothing was sent in clear."},
    {kTlsHandshake, "TLS: the handshake with the server failed."},
    {kCaFileUnreadable, "TLS: the certificate file named by cafile cannot be read."},
    {kSshLoginRefused,
     "The server refused the login: neither the key nor the password was accepted."},
    {kHostKeyUnknown,
     "SSH host key: nothing vouches for the server's key (hostkey or knownhosts); nothing secret "
     "was sent."},
    {kHostKeyChanged,
     "SSH host key: the server's key is not the one known for it; nothing secret was sent."},
    {kHostKeyNotPinned,
     "SSH host key: the server's key is not the pinned one (hostkey); nothing secret was sent."},
    {kPermissionDenied, "The server denied access to the file or directory."},
    {kNoSuchRemoteFile, "No such file or directory on the server."},
};

// The SFTP side's codes that have a code of their own here; the others
// are one of the codes both sides share.
constexpr struct {
  SftpErrorCode sftp;
  int32_t code;
} kSftpCodes[] = {
    {kSftpCannotConnect, kCannotConnect},
    {kSftpLoginRefused, kSshLoginRefused},
    {kSftpHostKeyUnknown, kHostKeyUnknown},
    {kSftpHostKeyChanged, kHostKeyChanged},
    {kSftpHostKeyNotPinned, kHostKeyNotPinned},
    {kSftpPermissionDenied, kPermissionDenied},
    {kSftpNoSuchFile, kNoSuchRemoteFile},
    {kSftpConnectionLost, kConnectionAborted},
    {kSftpTimeout, kTimeout},
};

// OpenSSL's verification results (X509_V_ERR_*), as libcurl passes them on.
constexpr long kVerifyNotYetValid = 9;
constexpr long kVerifyExpired = 10;
constexpr long kVerifyIssuerUnknown[] = {
    2,   // unable to get issuer certificate
    18,  // self-signed certificate
    19,  // self-signed certificate in the chain
    20,  // unable to get local issuer certificate
    21,  // unable to verify the first certificate
};

}  // namespace

std::string_view ErrorMessage(int32_t code) {
  for (const Message& m : kMessages)
    if (m.code == code) return m.text;
  return {};
}

// A refusal without a code of its own is told in the session's words, as
// an FTP server's reply is.
Error ErrorFromSftp(const SftpError& error) {
  if (error.code == kSftpOk) return {};
  for (const auto& known : kSftpCodes)
    if (known.sftp == error.code) return {known.code, "", error.text};
  return {kExtendedError, error.text};
}

int32_t ErrorFromCurl(CURLcode result) {
  switch (result) {
    case CURLE_OPERATION_TIMEDOUT:
      return kTimeout;
    // The server's part of the URL is checked before libcurl sees it: a
    // malformed URL can only come from a remote name.
    case CURLE_URL_MALFORMAT:
      return kInvalidName;
    case CURLE_COULDNT_RESOLVE_HOST:
      return kNameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return kCannotConnect;
    case CURLE_LOGIN_DENIED:
      return kLoginFailure;
    case CURLE_REMOTE_ACCESS_DENIED:
    case CURLE_FTP_COULDNT_SET_TYPE:
    case CURLE_FTP_COULDNT_RETR_FILE:
    case CURLE_QUOTE_ERROR:
    case CURLE_UPLOAD_FAILED:
    case CURLE_FTP_PORT_FAILED:
    case CURLE_FTP_ACCEPT_FAILED:
    case CURLE_FTP_WEIRD_PASV_REPLY:
    case CURLE_FTP_WEIRD_227_FORMAT:
    case CURLE_FTP_CANT_GET_HOST:
    case CURLE_REMOTE_DISK_FULL:
    case CURLE_REMOTE_FILE_EXISTS:
    case CURLE_REMOTE_FILE_NOT_FOUND:
    case CURLE_FTP_PRET_FAILED:
      return kExtendedError;
    case CURLE_WEIRD_SERVER_REPLY:
      return kInvalidServerResponse;
    case CURLE_FTP_BAD_FILE_LIST:
      return kListingUnreadable;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
    case CURLE_FTP_ACCEPT_TIMEOUT:
      return kConnectionAborted;
    case CURLE_WRITE_ERROR:
      return kWriteFault;
    case CURLE_READ_ERROR:
      return kReadFault;
    case CURLE_USE_SSL_FAILED:
      return kTlsNotOffered;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_ISSUER_ERROR:
      return kTlsHandshake;
    case CURLE_SSL_CACERT_BADFILE:
      return kCaFileUnreadable;
    case CURLE_PEER_FAILED_VERIFICATION:
      return kCertificateInvalid;
    default:
      return kInternalError;
  }
}

int32_t ErrorFromCertificate(long verifyResult) {
  if (verifyResult == kVerifyNotYetValid || verifyResult == kVerifyExpired) return kCertificateDate;
  for (long issuer : kVerifyIssuerUnknown)
    if (verifyResult == issuer) return kCertificateIssuer;
  if (HostNameFailed(verifyResult)) return kCertificateName;
  return kCertificateInvalid;
}

int32_t ErrorFromErrno(int err) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return kFileNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return kAccessDenied;
    case ENOSPC:
    case EDQUOT:
      return kDiskFull;
    default:
      return kWriteFault;
  }
}

}  // namespace inet
