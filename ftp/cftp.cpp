// Session, connection, error texts and the single remote commands.
#include "ftp/cftp.h"

#include <optional>

#include "ftp/inet/connection.h"
#include "ftp/inet/errors.h"
#include "ftp/inet/server_address.h"
#include "ftp/inet/sftp_remote.h"

cFTP::cFTP() : cFTP(inet::Session::Open()) {}

cFTP::cFTP(std::nullptr_t) : cFTP(std::unique_ptr<inet::Session>()) {}

// A session fails to open in one way only.
cFTP::cFTP(std::unique_ptr<inet::Session> session) : hSession(std::move(session)) {
  if (!hSession) RecordFTPError(inet::kInternalError, "InternetOpen");
}

cFTP::~cFTP() = default;

std::string cFTP::InvalidNameMessage() {
  return std::string(inet::ErrorMessage(inet::kInvalidName));
}

inet::TransferType cFTP::TransferType() const {
  return mAscii ? inet::TransferType::kAscii : inet::TransferType::kBinary;
}

void cFTP::RecordFTPError(int32_t lErrorCode, const std::string& sOperation) {
  sLastError = sOperation + " error code: " + std::to_string(lErrorCode) +
               " Message: " + std::string(inet::ErrorMessage(lErrorCode));
}

// After a refusal the server's own words say best what went wrong; the
// detail, where there is one, says on what.
void cFTP::RecordError(const inet::Error& error, const std::string& sOperation) {
  if (error.code == inet::kExtendedError && !error.reply.empty())
    sLastError = error.reply;
  else
    RecordFTPError(error.code, sOperation);
  if (!error.detail.empty()) sLastError += " " + error.detail;
}

void cFTP::RecordLastError(const std::string& sOperation) {
  if (hConnection)
    RecordError(hConnection->error(), sOperation);
  else
    RecordFTPError(inet::kNotConnected, sOperation);
}

bool cFTP::Connected(const std::string& sOperation) {
  if (hConnection) return true;
  RecordFTPError(inet::kNotConnected, sOperation);
  return false;
}

bool cFTP::Check(bool ok, const std::string& sOperation) {
  if (!ok) RecordLastError(sOperation);
  return ok;
}

void cFTP::CloseConnection() { hConnection.reset(); }

namespace {
const std::string kConnectLabel = "InternetConnect";
}  // namespace

// The scheme picks the protocol once; everything after goes through the one
// interface of the layer.
bool cFTP::OpenConnection(const std::string& sServer, const std::string& sUser,
                          const std::string& sPassword) {
  hConnection.reset();
  if (!hSession) return Connected(kConnectLabel);
  if (std::optional<inet::ServerAddress> sftp = inet::ParseSftpAddress(sServer)) {
    ConnectSftp(*sftp, sUser, sPassword);
  } else if (std::optional<inet::ServerAddress> server = inet::ParseServerAddress(sServer)) {
    ConnectFtp(*server, sUser, sPassword);
  } else {
    RecordFTPError(inet::kNameNotResolved, kConnectLabel);
    return false;
  }
  return hConnection != nullptr;
}

void cFTP::ConnectFtp(const inet::ServerAddress& server, const std::string& sUser,
                      const std::string& sPassword) {
  inet::ConnectRequest request{server,           sUser,
                               sPassword,        lConnectFlags == kPassive,
                               mTimeouts,        {mTlsVerify, mCaFile},
                               YieldWhileBlocked};
  hConnection = hSession->Connect(request);
  if (!hConnection) RecordError(hSession->error(), kConnectLabel);
}

void cFTP::ConnectSftp(const inet::ServerAddress& server, const std::string& sUser,
                       const std::string& sPassword) {
  inet::SftpRequest request{server.host,
                            server.port,
                            {sUser, sPassword, mSsh.keyFile, mSsh.keyPassphrase},
                            {mSsh.hostKeyPin, mSsh.knownHostsFile},
                            mTimeouts,
                            YieldWhileBlocked};
  inet::Error error;
  hConnection = inet::OpenSftpSession(std::move(request), error);
  if (!hConnection) RecordError(error, kConnectLabel);
}

bool cFTP::RenameFTPFile(const std::string& sExisting, const std::string& sNewName) {
  static const std::string kLabel = "RenameFTPFile";
  return Connected(kLabel) && Check(hConnection->Rename(sExisting, sNewName), kLabel);
}

bool cFTP::CreateFTPDirectory(const std::string& sDirectory) {
  static const std::string kLabel = "CreateFTPDirectory";
  return Connected(kLabel) && Check(hConnection->CreateDirectory(sDirectory), kLabel);
}

bool cFTP::RemoveFTPDirectory(const std::string& sDirectory) {
  static const std::string kLabel = "RemoveFTPDirectory";
  return Connected(kLabel) && Check(hConnection->RemoveDirectory(sDirectory), kLabel);
}

bool cFTP::DeleteFTPFile(const std::string& sRemote) {
  static const std::string kLabel = "DeleteFTPFile";
  return Connected(kLabel) && Check(hConnection->DeleteFile(sRemote), kLabel);
}

std::string cFTP::GetFTPDirectory() {
  if (!Connected("FtpGetCurrentDirectory")) return {};
  return hConnection->CurrentDirectory();
}

bool cFTP::SetFTPDirectory(const std::string& sDir) {
  static const std::string kLabel = "FtpSetCurrentDirectory";
  return Connected(kLabel) && Check(hConnection->SetCurrentDirectory(sDir), kLabel);
}

bool cFTP::SimpleFTPPutFile(const std::string& sLocal, const std::string& sRemote) {
  static const std::string kLabel = "SimpleFtpPutFile";
  return Connected(kLabel) && Check(hConnection->PutFile(sLocal, sRemote, TransferType()), kLabel);
}

bool cFTP::SimpleFTPGetFile(const std::string& sLocal, const std::string& sRemote) {
  static const std::string kLabel = "SimpleFtpGetFile";
  return Connected(kLabel) && Check(hConnection->GetFile(sRemote, sLocal, TransferType()), kLabel);
}
