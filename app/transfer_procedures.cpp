// Moving one file: up to three attempts with a reconnect between them, one
// log record, and the source deleted only after a confirmed success.
#include "app/frm_update.h"

#include "base/text.h"
#include "ftp/inet/errors.h"
#include "job/exit_status.h"
#include "job/local_files.h"
#include "job/program_dir.h"
#include "job/transfer_line_syntax.h"
#include "job/transfer_log.h"

#include <chrono>

namespace {

using std::chrono::milliseconds;

constexpr int kAttempts = 3;
constexpr milliseconds kPauseBeforeFirstAttempt(100);
constexpr milliseconds kPauseAfterFailedAttempt(1000);
constexpr milliseconds kPauseAfterReconnect(1000);
constexpr milliseconds kPauseBeforeEnd(5000);

constexpr char kRootDirectory[] = "/";
constexpr char kUploadStart[] = "Status: prenos na strežnik...";
constexpr char kDownloadStart[] = "Status: prenos iz strežnika...";
constexpr char kTransferDone[] = "Status: Prenos je končan.";
constexpr char kProgramFileRefusal[] = "A download may not replace the program's own file ";

}  // namespace

// The download's failure text has a blank after the colon.
std::string FrmUpdate::DownloadFailureStatus() { return std::string(kFailureStatus) + " "; }

bool FrmUpdate::TryThreeTimes(const std::string& startText, const std::function<bool()>& transfer,
                              const std::function<std::string()>& errorText) {
  bool ok = false;
  for (int attemptsLeft = kAttempts; attemptsLeft > 0;) {
    ok = transfer();
    --attemptsLeft;
    if (ok || attemptsLeft == 0) break;
    ShowStatus(errorText ? errorText() : mFTP->GetLastErrorMessage());
    Yield();
    Wait(kPauseAfterFailedAttempt);
    mFTP->CloseConnection();
    mFTP->OpenConnection(mServer, mUser, mPassword);
    Yield();
    mFTP->SetFTPDirectory(kRootDirectory);
    Wait(kPauseAfterReconnect);
    ShowStatus(startText);
    Yield();
  }
  return ok;
}

bool FrmUpdate::RecordFailure(const std::string& prefix, const std::string& source,
                              const std::string& destination, const std::string& error) {
  ShowStatus(prefix + error);
  NoteOutcome(kExitFileFailed);
  return AppendOrReport(FailureRecord(source, destination, error));
}

// After the last failed attempt: the record, then the end of the program.
// A record that cannot be written keeps the program going with the next
// file, so that the failure is at least not silent in the exit status.
void FrmUpdate::GiveUp(const std::string& prefix, const std::string& source,
                       const std::string& destination, const std::string& error) {
  if (!RecordFailure(prefix, source, destination, error)) return;
  Wait(kPauseBeforeEnd);
  EndProgram(mOutcome);
}

void FrmUpdate::GiveUp(const std::string& prefix, const std::string& source,
                       const std::string& destination) {
  GiveUp(prefix, source, destination, mFTP->GetLastErrorMessage());
}

// The file moved, but its source stays and will move again next time: the
// run must not look like a success.
void FrmUpdate::ReportDeleteFailure(const std::string& path, const std::string& reason) {
  const std::string text = "could not delete " + path + ": " + reason;
  ShowStatus(kFailureStatus + text);
  ReportToConsole("kestrin: " + text);
  NoteOutcome(kExitFileFailed);
}

// The current file: its timer starts, its paths on both sides.
void FrmUpdate::StartFile(const std::string& startText, std::string& remotePath,
                          std::string& localPath) {
  remotePath = mRemoteDir + mFile.name;
  localPath = mLocalDir + mFile.name;
  mStartTime = mClock();
  ShowStatus(startText);
  mFTP->SetFTPDirectory(kRootDirectory);
  mFTP->SetSourceCheck(mDeleteSources);
}

// A file whose move can never succeed fails at once, without attempts, and
// the job goes on: a name no FTP command can carry would stop every run at
// that file for ever, and a download must never replace the program's own
// settings, log or executable.
bool FrmUpdate::RefusedAtOnce(const std::string& prefix, const std::string& source,
                              const std::string& destination, bool download) {
  const std::string& localPath = download ? destination : source;
  std::string error;
  if (HasControlCharacter(mFile.name))
    error = inet::ErrorMessage(inet::kInvalidName);
  else if (download && IsProgramFile(localPath, mIniFile, LogFileName()))
    error = kProgramFileRefusal + localPath;
  if (error.empty()) return false;
  RecordFailure(prefix, source, destination, error);
  Yield();
  return true;
}

// The files of a line are listed like a file is moved: a listing that
// fails is retried with the same steps and in the end fails the job the
// same way; only a listing that worked and found nothing means no files.
bool FrmUpdate::ListLineFiles(const TransferLine& line, std::vector<ListedFile>& files) {
  const std::string remotePattern = mRemoteDir + line.file;
  const std::string localPattern = mLocalDir + line.file;
  if (line.download) {
    if (TryThreeTimes(kDownloadStart, [&] { return mFTP->ListFTPFiles(remotePattern, files); }))
      return true;
    GiveUp(DownloadFailureStatus(), remotePattern, mLocalDir);
    return false;
  }
  std::string error;
  if (TryThreeTimes(
          kUploadStart, [&] { return ListLocalFiles(localPattern, files, error); },
          [&] { return error; }))
    return true;
  GiveUp(kFailureStatus, localPattern, mRemoteDir, error);
  return false;
}

void FrmUpdate::upload() {
  std::string remotePath, localPath;
  StartFile(kUploadStart, remotePath, localPath);
  if (RefusedAtOnce(kFailureStatus, localPath, remotePath, false)) return;
  Wait(kPauseBeforeFirstAttempt);
  if (!TryThreeTimes(kUploadStart, [&] { return mFTP->FTPUploadExact(localPath, remotePath); })) {
    GiveUp(kFailureStatus, localPath, remotePath);
  } else {
    ShowStatus(kTransferDone);
    Yield();
    // The source goes only once its record is written: a log without
    // the record must never go with a file that is gone.
    std::string reason;
    if (AppendOrReport(SuccessRecord(localPath, remotePath)) && mDeleteSources &&
        !mFTP->DeleteSentSource(localPath, reason))
      ReportDeleteFailure(localPath, reason);
    Yield();
  }
  Yield();
}

void FrmUpdate::download() {
  std::string remotePath, localPath;
  StartFile(kDownloadStart, remotePath, localPath);
  if (RefusedAtOnce(DownloadFailureStatus(), remotePath, localPath, true)) return;
  Yield();
  Wait(kPauseBeforeFirstAttempt);
  // Only the first attempt takes the size from the listing: the file may
  // have changed since, which is what failed an attempt.
  ListedFile listed = mFile;
  if (!TryThreeTimes(kDownloadStart, [&] {
        const bool ok = mFTP->FTPDownloadFile(localPath, remotePath, listed);
        listed.size = -1;
        return ok;
      })) {
    GiveUp(DownloadFailureStatus(), remotePath, localPath);
  } else {
    ShowStatus(kTransferDone);
    if (AppendOrReport(SuccessRecord(remotePath, localPath)) && mDeleteSources &&
        !mFTP->DeleteReceivedSource(remotePath))
      ReportDeleteFailure(remotePath, mFTP->GetLastErrorMessage());
    Yield();
  }
  Yield();
}
