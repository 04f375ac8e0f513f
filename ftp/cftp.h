// cFTP: the FTP client of the job. One object holds one internet session
// and at most one connection at a time, FTP or SFTP as the server text's
// scheme says ("sftp://"); above this class the two are one. Members never throw: a failure
// returns false (or an empty or non-positive value) and leaves a readable
// error text behind, which the caller fetches with GetLastErrorMessage.
// The internet layer below is known here by name only: a caller needs this
// header and nothing of the network library.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ftp/listed_names.h"
#include "ftp/ssh_settings.h"
#include "ftp/timeouts.h"

namespace inet {
class LocalDownload;
class RemoteSession;
class RemoteStream;
class Session;
enum class TransferType;
struct Error;
struct FindData;
struct RemoteStat;
struct ServerAddress;
}  // namespace inet

class cFTP {
 public:
  // Opens the session every connection goes through.
  cFTP();
  // Without a session, as when it could not be opened, every connection
  // attempt fails.
  explicit cFTP(std::nullptr_t);
  ~cFTP();
  cFTP(const cFTP&) = delete;
  cFTP& operator=(const cFTP&) = delete;

  std::string GetLastErrorMessage() const { return sLastError; }
  // The text a name gets that no FTP command can carry (a control character).
  static std::string InvalidNameMessage();
  // Removes the hidden temporary file of a download still running, for a
  // program that ends in the middle of one without tearing anything down.
  static void RemoveUnfinishedDownload();
  // Removes the temporary files that killed runs left in a local directory.
  static void RemoveAbandonedDownloads(const std::string& sLocalDir);
  void CloseConnection();
  bool SimpleFTPPutFile(const std::string& sLocal, const std::string& sRemote);
  bool RenameFTPFile(const std::string& sExisting, const std::string& sNewName);
  bool CreateFTPDirectory(const std::string& sDirectory);
  bool RemoveFTPDirectory(const std::string& sDirectory);
  bool DeleteFTPFile(const std::string& sRemote);
  bool OpenConnection(const std::string& sServer, const std::string& sUser,
                      const std::string& sPassword);
  // The streamed transfers trim their arguments in place.
  bool FTPUploadFile(std::string& sLocal, std::string& sRemote);
  bool FTPDownloadFile(std::string& sLocal, std::string& sRemote);
  // A job's files move under their exact names, which may begin or end
  // with a blank: these two take their paths as given, untrimmed.
  bool FTPUploadExact(const std::string& sLocal, const std::string& sRemote);
  // The download also takes the size the file's own listing gave, so that
  // the directory is not listed again; the server is asked (SIZE) for a
  // listed link, whose listed size is the link's own, and where the size is
  // unknown (negative).
  bool FTPDownloadFile(const std::string& sLocal, const std::string& sRemote,
                       const ListedFile& listed);
  bool SimpleFTPGetFile(const std::string& sLocal, const std::string& sRemote);
  std::string GetFTPDirectory();
  bool SetFTPDirectory(const std::string& sDir);
  // The low 32 bits of the size of the first match; -1 when nothing
  // matches (no error text), -2 on any other failure.
  int32_t GetFTPFileSize(const std::string& sFile);
  // The names that match, joined by ",", directories included; "" when
  // none match or the listing fails (no error text either way).
  std::string GetFTPdir(const std::string& sFile);
  // The same, plain files only: what a download can fetch.
  std::string GetFTPFileNames(const std::string& sFile);
  // The plain files (links included) that match, each with its listed size
  // and its name as the server's bytes. True with no files when nothing
  // matches; false, with the error text, when the listing itself failed.
  bool ListFTPFiles(const std::string& sFile, std::vector<ListedFile>& files);
  void SetTransferASCII() { mAscii = true; }
  void SetTransferBinary() { mAscii = false; }
  void SetModeActive() { lConnectFlags = kActive; }
  void SetModePassive() { lConnectFlags = kPassive; }
  // With the source deleted after its transfer, a transfer whose source
  // changed while it ran must fail: the change would be lost with it.
  void SetSourceCheck(bool on) { mCheckSource = on; }
  // The source of the last upload or download, once its record is written:
  // deleted only while it is still the file that moved. Else it stays, and
  // false leaves the reason (in `reason` for the local file).
  bool DeleteSentSource(const std::string& sLocal, std::string& reason);
  bool DeleteReceivedSource(const std::string& sRemote);
  // For TLS connections: a file of certificates trusted beside the system's
  // ("" for none), and whether the server's certificate is checked at all.
  void SetCaFile(const std::string& sCaFile) { mCaFile = sCaFile; }
  void SetTlsVerify(bool verify) { mTlsVerify = verify; }
  // For SFTP servers: the login key and the host key check.
  void SetSshSettings(const SshSettings& ssh) { mSsh = ssh; }
  // Uploads arrive under a hidden temporary name and are renamed when whole.
  void SetTempUpload(bool tempUpload) { mTempUpload = tempUpload; }

  // Raised after every chunk of a streamed transfer and once at its end.
  std::function<void(int64_t lCurrentBytes, int64_t lTotalBytes)> FileTransferProgress;
  // Raised in its place, when set, for chunks whose bytes had all moved by
  // the time the first one's event came: `count` events at once, the first
  // at lFirstBytes and each `step` bytes after the one before.
  std::function<void(int64_t lFirstBytes, int64_t step, int64_t count, int64_t lTotalBytes)>
      FileTransferRun;
  // Lets the window process its pending events during a streamed transfer.
  std::function<void()> YieldToWindow;
  // Lets the window process its events while a call waits: on the network,
  // or in a pause. Called every few milliseconds of such a wait.
  std::function<void()> YieldWhileBlocked;
  // Shows the streamed upload's closing texts in the window.
  std::function<void(const std::string&)> ShowTransferText;

  // Tests shorten the waits; users have no need to.
  void SetTimeouts(const FtpTimeouts& timeouts) { mTimeouts = timeouts; }

 private:
  enum ConnectFlags { kActive, kPassive };

  explicit cFTP(std::unique_ptr<inet::Session> session);
  inet::TransferType TransferType() const;
  void RecordFTPError(int32_t lErrorCode, const std::string& sOperation);
  void RecordError(const inet::Error& error, const std::string& sOperation);
  // The error of the connection's last failed operation, or that there is none.
  void RecordLastError(const std::string& sOperation);
  void ConnectFtp(const inet::ServerAddress& server, const std::string& sUser,
                  const std::string& sPassword);
  void ConnectSftp(const inet::ServerAddress& server, const std::string& sUser,
                   const std::string& sPassword);
  bool Connected(const std::string& sOperation);
  bool Check(bool ok, const std::string& sOperation);
  void Yield();
  void RaiseProgress(int64_t lCurrentBytes, int64_t lTotalBytes);
  void RaiseRun(int64_t lFirstBytes, int64_t count, int64_t lTotalBytes);
  // 0 when entries match; else why not, not recorded yet.
  int32_t FindEntries(const std::string& sFile, std::vector<inet::FindData>& entries);
  std::string JoinNames(const std::string& sFile, bool filesOnly);
  int64_t RemoteSize(const std::string& sRemote);
  int64_t ExpectedSize(const std::string& sRemote, const ListedFile& listed);
  bool ReceiveFile(const std::string& sLocal, const std::string& sRemote, int64_t size);
  bool SendChunks(std::FILE* local, inet::RemoteStream& remote, int64_t length, std::string& label);
  bool ReceiveChunks(inet::RemoteStream& remote, inet::LocalDownload& local, int64_t size,
                     std::string& label);
  void RecordReceiveError(const inet::RemoteStream& remote, const inet::LocalDownload& local,
                          const std::string& label);
  bool CountReceived(inet::RemoteStream& remote, const inet::LocalDownload& local, int64_t n,
                     const std::string& label);
  void DiscardRemote(const std::string& sRemote);
  bool UploadStands(const std::string& sRemote, int64_t length, bool sourceUnchanged);
  bool TakenByServer();
  bool SourceUnchanged(const std::string& sLocal, const struct stat& sent) const;
  bool StatRemote(const std::string& sRemote, bool withTime, inet::RemoteStat& stat);
  bool DownloadStands(const std::string& sRemote, int64_t size, const inet::RemoteStat& before,
                      inet::RemoteStat& after);
  bool PublishUpload(const std::string& sTemporary, const std::string& sRemote);
  bool TrimPaths(std::string& sLocal, std::string& sRemote, const std::string& label);
  bool PathsGiven(const std::string& sLocal, const std::string& sRemote, const std::string& label);
  bool SendFile(const std::string& sLocal, const std::string& sRemote);

  std::unique_ptr<inet::Session> hSession;
  std::unique_ptr<inet::RemoteSession> hConnection;
  bool mAscii = true;
  ConnectFlags lConnectFlags = kActive;
  std::string sLastError;
  FtpTimeouts mTimeouts;
  bool mCheckSource = false;
  std::string mCaFile;  // TLS: trusted beside the system's certificates, when given
  bool mTlsVerify = true;
  SshSettings mSsh;
  bool mTempUpload = false;
  struct stat mSentSource {};  // the local file the last upload read
  // What the last download read, as the server told it; -1 where it did not.
  int64_t mReceivedSize = -1;
  int64_t mReceivedTime = -1;
};
