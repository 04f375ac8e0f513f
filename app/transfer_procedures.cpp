// Moving one file: up to three attempts with a reconnect between them, one
// log record, and the source deleted only after a confirmed success.
#include "frm_update.h"

#include "exit_status.h"
#include "transfer_log.h"

#include <QCheckBox>
#include <QLineEdit>

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

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

}  // namespace

template <typename Transfer>
bool FrmUpdate::TryThreeTimes(const std::string& startText, Transfer transfer) {
  bool ok = false;
  for (int attemptsLeft = kAttempts; attemptsLeft > 0;) {
    ok = transfer();
    --attemptsLeft;
    if (ok || attemptsLeft == 0) break;
    ShowStatus(mFTP->GetLastErrorMessage());
    Yield();
    Wait(kPauseAfterFailedAttempt);
    mFTP->CloseConnection();
    mFTP->OpenConnection(textURL->text().toStdString(), mUser, mPassword);
    Yield();
    mFTP->SetFTPDirectory(kRootDirectory);
    Wait(kPauseAfterReconnect);
    ShowStatus(startText);
    Yield();
  }
  return ok;
}

// After the last failed attempt: the record, then the end of the program.
// A record that cannot be written keeps the program going with the next
// file, so that the failure is at least not silent in the exit status.
void FrmUpdate::GiveUp(const std::string& prefix, const std::string& source,
                       const std::string& destination) {
  const std::string error = mFTP->GetLastErrorMessage();
  ShowStatus(prefix + error);
  NoteOutcome(kExitFileFailed);
  if (!AppendOrReport(FailureRecord(source, destination, error))) return;
  Wait(kPauseBeforeEnd);
  EndProgram(mOutcome);
}

// The file moved, but its source stays and will move again next time: the
// run must not look like a success.
void FrmUpdate::ReportDeleteFailure(const std::string& path, const std::string& reason) {
  const std::string text = "could not delete " + path + ": " + reason;
  ShowStatus(kFailureStatus + text);
  ReportToConsole("kestrin: " + text);
  NoteOutcome(kExitFileFailed);
}

// The file named in Textimedat: its timer starts, its paths on both sides.
void FrmUpdate::StartFile(const std::string& startText, std::string& remotePath,
                          std::string& localPath) {
  remotePath = textDIR->text().toStdString() + Textimedat->text().toStdString();
  localPath = textLDIR->text().toStdString() + Textimedat->text().toStdString();
  mStartTime = mClock();
  ShowStatus(startText);
  mFTP->SetFTPDirectory(kRootDirectory);
  mFTP->SetSourceCheck(Chkbrisi->isChecked());
}

void FrmUpdate::upload() {
  std::string remotePath, localPath;
  StartFile(kUploadStart, remotePath, localPath);
  Wait(kPauseBeforeFirstAttempt);
  if (!TryThreeTimes(kUploadStart, [&] { return mFTP->FTPUploadFile(localPath, remotePath); })) {
    GiveUp(kFailureStatus, localPath, remotePath);
  } else {
    ShowStatus(kTransferDone);
    Yield();
    // The source goes only once its record is written: a log without
    // the record must never go with a file that is gone.
    if (AppendOrReport(SuccessRecord(localPath, remotePath)) && Chkbrisi->isChecked() &&
        ::unlink(localPath.c_str()) != 0)
      ReportDeleteFailure(localPath, std::strerror(errno));
    Yield();
  }
  Yield();
}

void FrmUpdate::download() {
  std::string remotePath, localPath;
  StartFile(kDownloadStart, remotePath, localPath);
  Yield();
  Wait(kPauseBeforeFirstAttempt);
  if (!TryThreeTimes(kDownloadStart,
                     [&] { return mFTP->FTPDownloadFile(localPath, remotePath); })) {
    // The download's failure text has a blank after the colon.
    GiveUp(std::string(kFailureStatus) + " ", remotePath, localPath);
  } else {
    ShowStatus(kTransferDone);
    if (AppendOrReport(SuccessRecord(remotePath, localPath)) && Chkbrisi->isChecked() &&
        !mFTP->DeleteFTPFile(remotePath))
      ReportDeleteFailure(remotePath, mFTP->GetLastErrorMessage());
    Yield();
  }
  Yield();
}
