// Moving one file: up to three attempts with a reconnect between them, one
// log record, and the source deleted only after a confirmed success.
#include "base/text.h"
#include "job/exit_status.h"
#include "job/job.h"
#include "job/local_files.h"
#include "job/program_dir.h"
#include "job/status_texts.h"
#include "job/transfer_log.h"

#include <chrono>

namespace {

using std::chrono::milliseconds;

constexpr int kAttempts = 3;
constexpr milliseconds kPauseBeforeFirstAttempt(100);
constexpr milliseconds kPauseAfterFailedAttempt(1000);
constexpr milliseconds kPauseAfterReconnect(1000);
constexpr milliseconds kPauseBeforeEnd(5000);

constexpr char kProgramFileRefusal[] = "A download may not replace the program's own file ";
constexpr char kProgramFileDeleteRefusal[] =
    "An upload with DEL may not delete the program's own file ";

}  // namespace

bool Job::TryThreeTimes(const std::string& startText, const std::function<bool()>& transfer,
                        const std::function<std::string()>& errorText) {
  bool ok = false;
  for (int attemptsLeft = kAttempts; attemptsLeft > 0;) {
    ok = transfer();
    --attemptsLeft;
    if (ok || attemptsLeft == 0) break;
    ShowStatus(errorText ? errorText() : mFTP->GetLastErrorMessage());
    mView.Yield();
    Pause(kPauseAfterFailedAttempt);
    mFTP->CloseConnection();
    mFTP->OpenConnection(mSettings.server, mSettings.user, mSettings.password);
    mView.Yield();
    mFTP->SetFTPDirectory(kRootDirectory);
    Pause(kPauseAfterReconnect);
    ShowStatus(startText);
    mView.Yield();
  }
  return ok;
}

bool Job::RecordFailure(const std::string& prefix, const std::string& source,
                        const std::string& destination, const std::string& error) {
  ShowStatus(prefix + error);
  NoteOutcome(kExitFileFailed);
  return AppendOrReport(FailureRecord(source, destination, error));
}

// After the last failed attempt: the record, then the end of the run. A
// record that cannot be written keeps the job going with the next file, so
// that the failure is at least not silent in the exit status.
bool Job::GiveUp(const std::string& prefix, const std::string& source,
                 const std::string& destination, const std::string& error) {
  if (!RecordFailure(prefix, source, destination, error)) return true;
  Pause(kPauseBeforeEnd);
  return false;
}

// The file moved, but its source stays and will move again next time: the
// run must not look like a success.
void Job::ReportDeleteFailure(const std::string& path, const std::string& reason) {
  const std::string text = "could not delete " + path + ": " + reason;
  ShowStatus(kFailureStatus + text);
  ReportToConsole("kestrin: " + text);
  NoteOutcome(kExitFileFailed);
}

// The current file: its timer starts, its paths on both sides.
void Job::StartFile(const std::string& startText, std::string& remotePath, std::string& localPath) {
  remotePath = mSettings.remoteDir + mFile.name;
  localPath = mSettings.localDir + mFile.name;
  mView.FileStarted();
  ShowStatus(startText);
  mFTP->SetFTPDirectory(kRootDirectory);
  mFTP->SetSourceCheck(mDeleteSources);
}

// A file whose move can never succeed fails at once, without attempts, and
// the job goes on: a name no FTP command can carry would stop every run at
// that file for ever, and a download must never replace the program's own
// settings, log or executable, nor an upload line with DEL delete them.
bool Job::RefusedAtOnce(const std::string& prefix, const std::string& source,
                        const std::string& destination, bool download) {
  const std::string& localPath = download ? destination : source;
  std::string error;
  if (HasControlCharacter(mFile.name))
    error = cFTP::InvalidNameMessage();
  else if ((download || mDeleteSources) && IsProgramFile(localPath, mIniFile, LogFileName()))
    error = (download ? kProgramFileRefusal : kProgramFileDeleteRefusal) + localPath;
  if (error.empty()) return false;
  RecordFailure(prefix, source, destination, error);
  mView.Yield();
  return true;
}

// The files of a line are listed like a file is moved: a listing that
// fails is retried with the same steps and in the end fails the job the
// same way; only a listing that worked and found nothing means no files.
bool Job::ListLineFiles(const TransferLine& line, std::vector<ListedFile>& files, bool& goOn) {
  const std::string remotePattern = mSettings.remoteDir + line.file;
  const std::string localPattern = mSettings.localDir + line.file;
  if (line.download) {
    if (TryThreeTimes(kDownloadStart, [&] { return mFTP->ListFTPFiles(remotePattern, files); }))
      return true;
    goOn = GiveUp(kDownloadFailureStatus, remotePattern, mSettings.localDir,
                  mFTP->GetLastErrorMessage());
    return false;
  }
  std::string error;
  if (TryThreeTimes(
          kUploadStart, [&] { return ListLocalFiles(localPattern, files, error); },
          [&] { return error; }))
    return true;
  goOn = GiveUp(kFailureStatus, localPattern, mSettings.remoteDir, error);
  return false;
}

bool Job::upload() {
  std::string remotePath, localPath;
  StartFile(kUploadStart, remotePath, localPath);
  if (RefusedAtOnce(kFailureStatus, localPath, remotePath, false)) return true;
  Pause(kPauseBeforeFirstAttempt);
  if (!TryThreeTimes(kUploadStart, [&] { return mFTP->FTPUploadExact(localPath, remotePath); }))
    return GiveUp(kFailureStatus, localPath, remotePath, mFTP->GetLastErrorMessage());
  ShowStatus(kTransferDone);
  mView.Yield();
  // The source goes only once its record is written: a log without the
  // record must never go with a file that is gone.
  std::string reason;
  if (AppendOrReport(SuccessRecord(localPath, remotePath)) && mDeleteSources &&
      !mFTP->DeleteSentSource(localPath, reason))
    ReportDeleteFailure(localPath, reason);
  mView.Yield();
  mView.Yield();
  return true;
}

bool Job::download() {
  std::string remotePath, localPath;
  StartFile(kDownloadStart, remotePath, localPath);
  if (RefusedAtOnce(kDownloadFailureStatus, remotePath, localPath, true)) return true;
  mView.Yield();
  Pause(kPauseBeforeFirstAttempt);
  // Only the first attempt takes the size from the listing: the file may
  // have changed since, which is what failed an attempt.
  ListedFile listed = mFile;
  if (!TryThreeTimes(kDownloadStart, [&] {
        const bool ok = mFTP->FTPDownloadFile(localPath, remotePath, listed);
        listed.size = -1;
        return ok;
      }))
    return GiveUp(kDownloadFailureStatus, remotePath, localPath, mFTP->GetLastErrorMessage());
  ShowStatus(kTransferDone);
  if (AppendOrReport(SuccessRecord(remotePath, localPath)) && mDeleteSources &&
      !mFTP->DeleteReceivedSource(remotePath))
    ReportDeleteFailure(remotePath, mFTP->GetLastErrorMessage());
  mView.Yield();
  mView.Yield();
  return true;
}
