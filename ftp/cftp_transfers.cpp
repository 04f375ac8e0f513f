// The streamed transfers: a file moves in chunks of 255 bytes, with a
// progress event after each. The chunk is the unit of the events only; the
// layer below gathers the bytes into large buffers on their way, and a
// download's bytes stay in them: its chunks are counted off the blocks
// received, which go to the local file whole.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

#include "base/posix_io.h"
#include "base/text.h"
#include "base/yielding_wait.h"
#include "ftp/cftp.h"
#include "ftp/inet/errors.h"
#include "ftp/inet/local_download.h"
#include "ftp/inet/remote_session.h"
#include "ftp/local_source.h"

namespace {

constexpr int64_t kChunkSize = 255;
constexpr auto kPauseBeforeClose = std::chrono::milliseconds(1000);

const std::string kOpenPutLabel = "FtpOpenFile:PutFile";
const std::string kOpenGetLabel = "FtpOpenFile:GetFile";
const std::string kWriteLabel = "InternetWriteFile";
const std::string kLastWriteLabel = "InternetWriteFile2";
const std::string kReadLabel = "InternetReadFile";
const std::string kLastReadLabel = "InternetReadFile2";
// Failures of the local file, named after the platform calls people know.
const std::string kLocalOpenLabel = "CreateFile";
const std::string kLocalReadLabel = "ReadFile";
const std::string kLocalWriteLabel = "WriteFile";
// Asking the server what it holds of a file after or before its transfer.
const std::string kSizeLabel = "FtpGetFileSize";

constexpr char kTemporarySuffix[] = ".kestrin-part";

const char kEndText[] = "Konec.";
const char kClosedText[] = "INTERNET CLOSE";

// -1 stands for what the server does not say, and matches anything.
bool Agrees(int64_t known, int64_t other) { return known < 0 || other < 0 || known == other; }

// The name an upload travels under with tempupload, in the same directory:
// "a.csv" becomes ".a.csv.kestrin-part". The leading dot hides it from the
// listings that hide dot files (this program's own local listing, shells,
// most servers), so no upload line picks it up on a later run whatever its
// pattern, "*" and ".*" included. The suffix keeps the name's own extension
// from the end, so that a consumer's pattern on it ("*.csv") cannot match.
// A name too long for that is cut to fit, as a download's temporary name is.
std::string TemporaryName(const std::string& sRemote) {
  const size_t slash = sRemote.rfind('/');
  const size_t leaf = slash == std::string::npos ? 0 : slash + 1;
  return sRemote.substr(0, leaf) + inet::HiddenName(sRemote.substr(leaf), kTemporarySuffix);
}

// The reply of a server that holds no such file.
constexpr char kNoSuchFile[] = "550";

// The whole chunks after `done` bytes, at most `chunks`, that can be
// counted at once: their bytes have moved already.
int64_t ChunksReady(const inet::RemoteStream& remote, int64_t done, int64_t chunks) {
  return std::clamp<int64_t>((remote.Ready() - done) / kChunkSize, 0, chunks);
}

}  // namespace

void cFTP::RemoveUnfinishedDownload() { inet::RemoveUnfinishedDownload(); }

void cFTP::RemoveAbandonedDownloads(const std::string& sLocalDir) {
  inet::RemoveAbandonedDownloads(sLocalDir);
}

void cFTP::Yield() {
  if (YieldToWindow) YieldToWindow();
}

void cFTP::RaiseProgress(int64_t lCurrentBytes, int64_t lTotalBytes) {
  if (FileTransferProgress) FileTransferProgress(lCurrentBytes, lTotalBytes);
}

void cFTP::RaiseRun(int64_t lFirstBytes, int64_t count, int64_t lTotalBytes) {
  if (FileTransferRun) return FileTransferRun(lFirstBytes, kChunkSize, count, lTotalBytes);
  for (int64_t i = 0; i < count; ++i) RaiseProgress(lFirstBytes + i * kChunkSize, lTotalBytes);
}

// Removes what a failed upload left on the server, if the connection still
// allows it. The cause of the failure stays the recorded error.
void cFTP::DiscardRemote(const std::string& sRemote) {
  if (hConnection) hConnection->DeleteFile(sRemote);
}

// Gives a whole, checked upload its final name, replacing any file there.
// If the server refuses the rename, the attempt fails and the temporary
// file goes.
bool cFTP::PublishUpload(const std::string& sTemporary, const std::string& sRemote) {
  if (RenameFTPFile(sTemporary, sRemote)) return true;
  DiscardRemote(sTemporary);
  return false;
}

// The bytes go from the local file to libcurl on the transfer's own thread;
// here they are counted, chunk by chunk, as they go: the chunks that have
// gone by the time one is counted raise their events with it, in one run.
// A failure is recorded.
bool cFTP::SendChunks(std::FILE* local, inet::RemoteStream& remote, int64_t length,
                      std::string& label) {
  remote.SendFrom(fileno(local), length);
  int64_t counter = 0;
  label = kWriteLabel;
  while (counter < length) {
    int64_t piece = std::min(kChunkSize, length - counter);
    if (piece < kChunkSize) label = kLastWriteLabel;
    if (!remote.AwaitSent(counter + piece)) {
      if (remote.LocalFailed())
        RecordFTPError(inet::kReadFault, kLocalReadLabel);
      else
        RecordError(remote.error(), label);
      return false;
    }
    counter += piece;
    if (piece < kChunkSize) break;
    const int64_t more = ChunksReady(remote, counter, (length - counter) / kChunkSize);
    Yield();
    RaiseRun(counter, 1 + more, length);
    Yield();
    counter += more * kChunkSize;
  }
  return true;
}

// Trims both paths in place, as the callers log and delete them as trimmed.
bool cFTP::TrimPaths(std::string& sLocal, std::string& sRemote, const std::string& label) {
  sLocal = std::string(TrimBlanks(sLocal));
  sRemote = std::string(TrimBlanks(sRemote));
  return PathsGiven(sLocal, sRemote, label);
}

bool cFTP::PathsGiven(const std::string& sLocal, const std::string& sRemote,
                      const std::string& label) {
  if (!sLocal.empty() && !sRemote.empty()) return true;
  RecordFTPError(inet::kEmptyName, label);
  return false;
}

bool cFTP::FTPUploadFile(std::string& sLocal, std::string& sRemote) {
  return TrimPaths(sLocal, sRemote, kOpenPutLabel) && SendFile(sLocal, sRemote);
}

bool cFTP::FTPUploadExact(const std::string& sLocal, const std::string& sRemote) {
  return PathsGiven(sLocal, sRemote, kOpenPutLabel) && SendFile(sLocal, sRemote);
}

bool cFTP::SendFile(const std::string& sLocal, const std::string& sRemote) {
  if (!Connected(kOpenPutLabel)) return false;
  // The local file is opened first, so that a missing one never costs the
  // server's copy of the file.
  struct stat info {};
  UniqueFile local = OpenRegularFile(sLocal, info);
  if (!local) {
    RecordFTPError(inet::ErrorFromErrno(errno), kLocalOpenLabel);
    return false;
  }
  int64_t length = info.st_size;
  const std::string target = mTempUpload ? TemporaryName(sRemote) : sRemote;
  std::unique_ptr<inet::RemoteStream> remote =
      hConnection->OpenFile(target, inet::Access::kWrite, TransferType());
  if (!remote) {
    RecordLastError(kOpenPutLabel);
    return false;
  }
  std::string label = kWriteLabel;
  if (!SendChunks(local.get(), *remote, length, label)) {
    remote.reset();
    DiscardRemote(target);
    Yield();
    return false;
  }
  RaiseProgress(length, length);
  local.reset();
  if (ShowTransferText) ShowTransferText(kEndText);
  Yield();
  WaitYielding(kPauseBeforeClose, YieldWhileBlocked);
  Yield();
  Yield();
  // Only the server's confirmation of the whole file makes it a success.
  bool confirmed = remote->Finish();
  if (!confirmed) RecordLastError(label);
  remote.reset();
  confirmed = confirmed && UploadStands(target, length, SourceUnchanged(sLocal, info));
  if (!confirmed) DiscardRemote(target);
  if (confirmed && mTempUpload) confirmed = PublishUpload(target, sRemote);
  // The server's answers took round trips: a source replaced meanwhile
  // fails the attempt too, or its new version would go unsent.
  if (confirmed && !SourceUnchanged(sLocal, info)) {
    RecordFTPError(inet::kSourceChanged, kLocalReadLabel);
    DiscardRemote(sRemote);
    confirmed = false;
  }
  if (confirmed) mSentSource = info;
  if (ShowTransferText) ShowTransferText(kClosedText);
  Yield();
  return confirmed;
}

bool cFTP::SourceUnchanged(const std::string& sLocal, const struct stat& sent) const {
  return !mCheckSource || SameLocalFile(sLocal, sent);
}

bool cFTP::DeleteSentSource(const std::string& sLocal, std::string& reason) {
  const bool deleted = DeleteLocalSource(sLocal, mSentSource, reason);
  mSentSource = {};
  return deleted;
}

// The completion reply alone is not believed: the server must hold as many
// bytes as were sent, where it can say (an ASCII transfer may change line
// ends, and so the size), and a source to be deleted must still be what
// was read.
bool cFTP::UploadStands(const std::string& sRemote, int64_t length, bool sourceUnchanged) {
  if (!sourceUnchanged) {
    RecordFTPError(inet::kSourceChanged, kLocalReadLabel);
    return false;
  }
  inet::RemoteStat held;
  if (!Connected(kSizeLabel)) return false;
  if (!hConnection->Stat(sRemote, false, held)) return TakenByServer();
  if (mAscii || Agrees(held.size, length)) return true;
  RecordFTPError(inet::kSizeMismatch, kSizeLabel);
  return false;
}

// A hot folder takes each upload away as soon as it is stored: after the
// server confirmed every byte, "no such file" (SIZE's 550, an SFTP stat's
// status) means it has the file, as a server without SIZE is believed on its
// confirmation. Not so for a temporary name, which must still be there to
// be renamed.
bool cFTP::TakenByServer() {
  const inet::Error& error = hConnection->error();
  const bool gone = error.code == inet::kNoSuchRemoteFile ||
                    (error.code == inet::kExtendedError && error.reply.starts_with(kNoSuchFile));
  if (!mTempUpload && gone) return true;
  RecordLastError(kSizeLabel);
  return false;
}

bool cFTP::StatRemote(const std::string& sRemote, bool withTime, inet::RemoteStat& stat) {
  return Connected(kSizeLabel) && Check(hConnection->Stat(sRemote, withTime, stat), kSizeLabel);
}

// A remote source to be deleted must be the file that was listed and read:
// the same size throughout, and the same modification time where the
// server tells it.
bool cFTP::DownloadStands(const std::string& sRemote, int64_t size, const inet::RemoteStat& before,
                          inet::RemoteStat& after) {
  if (!StatRemote(sRemote, true, after)) return false;
  if (Agrees(before.size, size) && Agrees(after.size, size) && Agrees(before.mtime, after.mtime))
    return true;
  RecordFTPError(inet::kSourceChanged, kSizeLabel);
  return false;
}

// The local commit (syncs, rename, record) takes time in which the server's
// file may be replaced: it is checked once more just before DELE. FTP has
// no delete that holds only for an unchanged file, so a change in the one
// round trip between this check and DELE still goes with the DELE.
bool cFTP::DeleteReceivedSource(const std::string& sRemote) {
  const inet::RemoteStat received{std::exchange(mReceivedSize, -1),
                                  std::exchange(mReceivedTime, -1)};
  inet::RemoteStat now;
  return DownloadStands(sRemote, received.size, received, now) && DeleteFTPFile(sRemote);
}

// The chunks are counted as their bytes arrive; those at hand by the time
// one is counted raise their events with it, in one run. A failure is
// recorded.
bool cFTP::ReceiveChunks(inet::RemoteStream& remote, inet::LocalDownload& local, int64_t size,
                         std::string& label) {
  remote.ReceiveInto(local);
  int64_t counter = 1;  // the event counts run one ahead of the bytes
  int64_t received = 0;
  label = kReadLabel;
  while (received < size) {
    int64_t piece = std::min(kChunkSize, size - received);
    bool last = piece < kChunkSize;
    if (last) {
      label = kLastReadLabel;
      Yield();
    }
    if (!CountReceived(remote, local, piece, label)) return false;
    received += piece;
    counter += piece;
    Yield();
    if (last) break;
    const int64_t more = ChunksReady(remote, received, (size - received) / kChunkSize);
    if (more > 0 && !CountReceived(remote, local, more * kChunkSize, label)) return false;
    Yield();
    RaiseRun(counter, 1 + more, size);
    Yield();
    Yield();
    counter += more * kChunkSize;
    received += more * kChunkSize;
  }
  return true;
}

bool cFTP::CountReceived(inet::RemoteStream& remote, const inet::LocalDownload& local, int64_t n,
                         const std::string& label) {
  size_t got = 0;
  if (!remote.Read(static_cast<size_t>(n), got)) {
    RecordReceiveError(remote, local, label);
    return false;
  }
  if (static_cast<int64_t>(got) == n) return true;
  // The data connection ended before the whole file arrived.
  RecordFTPError(inet::kConnectionAborted, label);
  return false;
}

// A download fails on its local file's write or on the remote side.
void cFTP::RecordReceiveError(const inet::RemoteStream& remote, const inet::LocalDownload& local,
                              const std::string& label) {
  if (remote.LocalFailed())
    RecordError(local.error(), kLocalWriteLabel);
  else
    RecordError(remote.error(), label);
}

bool cFTP::FTPDownloadFile(std::string& sLocal, std::string& sRemote) {
  return TrimPaths(sLocal, sRemote, kOpenGetLabel) &&
         ReceiveFile(sLocal, sRemote, RemoteSize(sRemote));
}

bool cFTP::FTPDownloadFile(const std::string& sLocal, const std::string& sRemote,
                           const ListedFile& listed) {
  return PathsGiven(sLocal, sRemote, kOpenGetLabel) &&
         ReceiveFile(sLocal, sRemote, ExpectedSize(sRemote, listed));
}

// `size` is what the file must have, or negative when it could not be
// learnt (the error is recorded then).
bool cFTP::ReceiveFile(const std::string& sLocal, const std::string& sRemote, int64_t size) {
  Yield();
  if (size < 0 || !Connected(kOpenGetLabel)) return false;
  inet::RemoteStat before;
  if (mCheckSource && !StatRemote(sRemote, true, before)) return false;
  inet::LocalDownload local(sLocal);
  if (!local.Create()) {
    RecordError(local.error(), kLocalOpenLabel);
    return false;
  }
  std::unique_ptr<inet::RemoteStream> remote =
      hConnection->OpenFile(sRemote, inet::Access::kRead, TransferType());
  Yield();
  if (!remote) {
    RecordLastError(kOpenGetLabel);
    return false;
  }
  Yield();
  Yield();
  std::string label = kReadLabel;
  if (!ReceiveChunks(*remote, local, size, label)) return false;
  if (!remote->Finish()) {
    RecordReceiveError(*remote, local, label);
    return false;
  }
  remote.reset();
  inet::RemoteStat after;
  if (mCheckSource && !DownloadStands(sRemote, size, before, after)) return false;
  if (!local.Commit()) {
    RecordError(local.error(), kLocalWriteLabel);
    return false;
  }
  mReceivedSize = size;
  mReceivedTime = after.mtime;
  int64_t counter = size + 1;
  RaiseProgress(counter, size % kChunkSize == 0 ? size : counter);
  Yield();
  Yield();
  Yield();
  return true;
}
