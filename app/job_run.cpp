// The job run: from the first activation to the end of the program.
#include "app/frm_update.h"

#include "base/text.h"
#include "base/yielding_wait.h"
#include "job/exit_status.h"
#include "job/follow_up.h"
#include "job/job_lock.h"
#include "job/present_value.h"
#include "job/transfer_log.h"
#include "settings/rwini1.h"

#include <QLabel>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

constexpr int kNumberedKeys = 20;
constexpr char kTransferStem[] = "prenos";
constexpr char kCommandStem[] = "run";
constexpr auto kPauseBeforeCommands = std::chrono::milliseconds(5000);
constexpr char kNoVerifyWarning[] =
    "kestrin: warning: tlsverify=NO: the server's certificate is not checked, so the server "
    "is not known to be the one named in FTPURL.";

// The directory that a download into `localDir` + name writes to: the
// local directory text may end in part of a name.
std::string DirectoryPart(const std::string& localDir) {
  const size_t slash = localDir.rfind('/');
  return slash == std::string::npos ? "" : localDir.substr(0, slash + 1);
}

}  // namespace

void FrmUpdate::Form_Activate() {
  if (!mFirstActivate) return;
  mFirstActivate = false;
  try {
    std::string line(TrimBlanks(mCommandLine));
    std::string extra = line;
    if (IsPresent(line)) {
      const std::string first = TakeField(line);
      if (IsPresent(ReadINI(first, "FTPURL", mIniFile))) {
        mSection = first;
        extra = line;
        ReadJob();
        Yield();
      }
    }
    RunJob(extra);
  } catch (const std::exception& failure) {
    ReportToConsole(std::string("kestrin: the run failed: ") + failure.what());
    EndProgram(kExitRunFailure);
  }
}

void FrmUpdate::RunJob(std::string sExtraLine) {
  if (!mCutDirectoryKey.empty()) RefuseCutDirectory();
  TakeJobOrEnd();
  cFTP::RemoveAbandonedDownloads(DirectoryPart(mLocalDir));
  // Once a run, so that a scheduler's mail keeps reminding of it.
  if (!mTlsVerify) ReportToConsole(kNoVerifyWarning);
  if (mFTP->OpenConnection(mServer, mUser, mPassword)) {
    if (IsPresent(sExtraLine)) {
      std::string line = sExtraLine;
      ftpprenos(line);
    }
    for (int n = 1; n <= kNumberedKeys; ++n) {
      std::string line = ReadINI(mSection, kTransferStem + std::to_string(n), mIniFile);
      if (IsPresent(line)) ftpprenos(line);
    }
    Yield();
  } else {
    ReportConnectionFailure();
  }
  Yield();
  mFTP->CloseConnection();
  Yield();
  Wait(kPauseBeforeCommands);
  StartFollowUps();
  EndProgram(mOutcome);
}

// A second start of a job that is running moves nothing: it says so and
// ends at once.
void FrmUpdate::TakeJobOrEnd() {
  std::string error;
  switch (TakeJobLock(mIniFile, mSection, error)) {
    case JobLock::kTaken:
      return;
    case JobLock::kBusy:
      error = "job " + mSection + " of " + mIniFile + " is already running";
      break;
    case JobLock::kFailed:
      error = "cannot make sure that job " + mSection + " runs once: " + error;
      break;
  }
  ShowStatus(kFailureStatus + error);
  ReportToConsole("kestrin: " + error + "; nothing moved");
  EndProgram(kExitRunFailure);
}

// A run that could not even connect must not look like a quiet success.
// When the settings could not be read, that is what the status line says.
void FrmUpdate::ReportConnectionFailure() {
  const std::string error = mFTP->GetLastErrorMessage();
  NoteOutcome(kExitNoConnection);
  ShowStatus(kFailureStatus + (mSettingsProblem.empty() ? error : mSettingsProblem));
  AppendOrReport(ConnectionFailureRecord(mServer, error));
}

// A directory cut short is another directory: files would land beside the
// one meant, or come from it. Such a job does not start.
void FrmUpdate::RefuseCutDirectory() {
  const std::string error = "The value of " + mCutDirectoryKey +
                            " is longer than the settings reader takes (" +
                            std::to_string(kMaxINIValueChars) + " characters).";
  ShowStatus(kFailureStatus + error);
  ReportToConsole("kestrin: " + mIniFile + ": " + error);
  NoteOutcome(kExitRunFailure);
  AppendOrReport(StartFailureRecord(mIniFile, error));
  EndProgram(mOutcome);
}

// A command that cannot be started is reported, and the others still start.
void FrmUpdate::StartFollowUps() {
  for (int n = 1; n <= kNumberedKeys; ++n) {
    const std::string command = ReadINI(mSection, kCommandStem + std::to_string(n), mIniFile);
    if (!IsPresent(command)) continue;
    std::string error;
    if (!StartFollowUpCommand(command, error)) {
      ShowStatus(kFailureStatus + error);
      ReportToConsole("kestrin: could not start " + std::string(kCommandStem) + std::to_string(n) +
                      ": " + error);
      NoteOutcome(kExitRunFailure);
    }
  }
}

// A record that is missing from the log fails the run.
bool FrmUpdate::AppendOrReport(const std::string& record) {
  if (AppendLogRecord(record)) return true;
  ReportToConsole("kestrin: could not write the log record: " + record);
  NoteOutcome(kExitFileFailed);
  return false;
}

// Names and server replies may hold control characters: written raw, a
// line break would make a status line of its own. The echo is a courtesy: a
// reader that went away (a closed pipe) must not stop the job, so its write
// errors are let go.
void FrmUpdate::ShowStatus(const std::string& text) {
  const std::string shown = EscapeControlCharacters(text);
  Label3->setText(QString::fromStdString(shown));
  if (mEchoStatus) {
    std::fputs((shown + "\n").c_str(), stdout);
    std::fflush(stdout);
  }
}

void FrmUpdate::ReportToConsole(const std::string& text) {
  std::fputs((EscapeControlCharacters(text) + "\n").c_str(), stderr);
}

void FrmUpdate::NoteOutcome(int status) {
  if (mOutcome == kExitOk) mOutcome = status;
}

void FrmUpdate::Wait(std::chrono::milliseconds length) {
  WaitYielding(length, [this] { Yield(); });
}

void FrmUpdate::Command3_Click() { EndProgram(kExitClosed); }

// Ends the process at once: no window or client clean-up runs, as the job
// may be anywhere. Only a download's hidden temporary file and the job's
// lock file are taken away.
void FrmUpdate::EndProgram(int status) {
  cFTP::RemoveUnfinishedDownload();
  ReleaseJobLock();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}
