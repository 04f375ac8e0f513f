// The job from its load to the end of its run.
#include "job/job.h"

#include "base/posix_io.h"
#include "base/text.h"
#include "base/yielding_wait.h"
#include "job/exit_status.h"
#include "job/follow_up.h"
#include "job/job_lock.h"
#include "job/present_value.h"
#include "job/status_texts.h"
#include "job/transfer_log.h"
#include "settings/rwini1.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr auto kPauseBeforeCommands = std::chrono::milliseconds(5000);
constexpr char kNotRegularReason[] = "not a regular file";
constexpr char kNoVerifyWarning[] =
    "kestrin: warning: tlsverify=NO: the server's certificate is not checked, so the server "
    "is not known to be the one named in FTPURL.";

std::string CutValueText(const std::string& key) {
  return "The value of " + key + " is longer than the settings reader takes (" +
         std::to_string(kMaxINIValueChars) + " characters).";
}

// The directory that a download into `localDir` + name writes to: the
// local directory text may end in part of a name.
std::string DirectoryPart(const std::string& localDir) {
  const size_t slash = localDir.rfind('/');
  return slash == std::string::npos ? "" : localDir.substr(0, slash + 1);
}

}  // namespace

Job::Job(JobView& view)
    : Pause([this](std::chrono::milliseconds length) {
        WaitYielding(length, [this] { mView.Yield(); });
      }),
      mView(view) {}

Job::~Job() = default;

void Job::Load(const std::string& iniFile) {
  mIniFile = iniFile.empty() ? DefaultSettingsFile() : iniFile;
  CheckSettingsFile();
  mFTP = std::make_unique<cFTP>();
  AttachView(*mFTP, mView);
  TakeSettings(SelectedSection(mIniFile));
  // The mode is the selected job's, whichever job the command line runs.
  if (mSettings.passive)
    mFTP->SetModePassive();
  else
    mFTP->SetModeActive();
  mView.ShowMode(mSettings.passive);
  mFTP->SetTransferBinary();
}

// The server, directories and login of `section`; the certificate check and
// the way of uploading go with the server, so they come from it too.
void Job::TakeSettings(const std::string& section) {
  mSettings = ReadJobSettings(mIniFile, section);
  mView.ShowJob(mSettings);
  mFTP->SetCaFile(mSettings.caFile);
  mFTP->SetTlsVerify(mSettings.tlsVerify);
  mFTP->SetTempUpload(mSettings.tempUpload);
  mFTP->SetSshSettings(mSettings.ssh);
}

// Unread settings would show only as a server name that cannot be
// resolved: the file is named, with the reason, before that happens. It is
// opened without waiting, as a FIFO in its place would hold the open (and
// the read) until some writer came, and the settings reader reads only a
// regular file of a settings file's size.
void Job::CheckSettingsFile() {
  struct stat info {};
  const int fd = OpenWithoutWaiting(mIniFile, info);
  std::string reason = fd < 0 ? std::strerror(errno) : "";
  char first;
  if (fd >= 0 && !S_ISREG(info.st_mode))
    reason = kNotRegularReason;
  else if (fd >= 0 && static_cast<std::size_t>(info.st_size) > kMaxSettingsFileBytes)
    reason = std::strerror(EFBIG);
  else if (fd >= 0 && ::read(fd, &first, 1) < 0)
    reason = std::strerror(errno);
  if (fd >= 0) ::close(fd);
  if (reason.empty()) return;
  mSettingsProblem = "cannot read the settings file " + mIniFile + ": " + reason;
  ShowStatus(kFailureStatus + mSettingsProblem);
  ReportToConsole("kestrin: " + mSettingsProblem);
}

int Job::Run(const std::string& commandLine) {
  std::string line(TrimBlanks(commandLine));
  std::string extra = line;
  if (IsPresent(line)) {
    const std::string first = TakeField(line);
    if (IsJobSection(mIniFile, first)) {
      // The mode stays the selected job's, as the client was set up with it.
      const bool passive = mSettings.passive;
      TakeSettings(first);
      mSettings.passive = passive;
      extra = line;
      mView.Yield();
    }
  }
  const int status = RunJob(extra);
  ReleaseJobLock();
  mView.JobEnded(status);
  return status;
}

int Job::RunJob(const std::string& sExtraLine) {
  if (!mSettings.cutKey.empty()) {
    RefuseCutValue();
    return mOutcome;
  }
  if (!TakeJobOrEnd()) return kExitRunFailure;
  cFTP::RemoveAbandonedDownloads(DirectoryPart(mSettings.localDir));
  // Once a run, so that a scheduler's mail keeps reminding of it.
  if (!mSettings.tlsVerify) ReportToConsole(kNoVerifyWarning);
  if (mFTP->OpenConnection(mSettings.server, mSettings.user, mSettings.password)) {
    std::vector<std::string> lines = mSettings.lines;
    if (IsPresent(sExtraLine)) lines.insert(lines.begin(), sExtraLine);
    for (std::string& line : lines)
      if (!ftpprenos(line)) return mOutcome;
    mView.Yield();
  } else {
    ReportConnectionFailure();
  }
  mView.Yield();
  mFTP->CloseConnection();
  mView.Yield();
  Pause(kPauseBeforeCommands);
  StartFollowUps();
  return mOutcome;
}

// A second start of a job that is running moves nothing: it says so and
// ends at once.
bool Job::TakeJobOrEnd() {
  std::string error;
  switch (TakeJobLock(mIniFile, mSettings.section, error)) {
    case JobLock::kTaken:
      return true;
    case JobLock::kBusy:
      error = "job " + mSettings.section + " of " + mIniFile + " is already running";
      break;
    case JobLock::kFailed:
      error = "cannot make sure that job " + mSettings.section + " runs once: " + error;
      break;
  }
  ShowStatus(kFailureStatus + error);
  ReportToConsole("kestrin: " + error + "; nothing moved");
  return false;
}

// A run that could not even connect must not look like a quiet success.
// When the settings could not be read, that is what the status line says.
void Job::ReportConnectionFailure() {
  const std::string error = mFTP->GetLastErrorMessage();
  NoteOutcome(kExitNoConnection);
  ShowStatus(kFailureStatus + (mSettingsProblem.empty() ? error : mSettingsProblem));
  AppendOrReport(ConnectionFailureRecord(mSettings.server, error));
}

// A directory cut short is another directory: files would land beside the
// one meant, or come from it. A transfer line cut short is another line:
// another pattern, or another direction. Such a job does not start.
void Job::RefuseCutValue() {
  const std::string error = CutValueText(mSettings.cutKey);
  ShowStatus(kFailureStatus + error);
  ReportToConsole("kestrin: " + mIniFile + ": " + error);
  NoteOutcome(kExitRunFailure);
  AppendOrReport(StartFailureRecord(mIniFile, error));
}

// A command that cannot be started is reported, and the others still start.
// A cut one is not started at all: it would run something else.
void Job::StartFollowUps() {
  for (const FollowUpCommand& followUp : mSettings.commands) {
    std::string error;
    if (followUp.cut) error = CutValueText(followUp.key);
    if (followUp.cut || !StartFollowUpCommand(followUp.command, error)) {
      ShowStatus(kFailureStatus + error);
      ReportToConsole("kestrin: could not start " + followUp.key + ": " + error);
      NoteOutcome(kExitRunFailure);
    }
  }
}

// A record that is missing from the log fails the run.
bool Job::AppendOrReport(const std::string& record) {
  if (AppendLogRecord(record)) return true;
  ReportToConsole("kestrin: could not write the log record: " + record);
  NoteOutcome(kExitFileFailed);
  return false;
}

// Names and server replies may hold control characters: shown raw, a line
// break would make a status line of its own.
void Job::ShowStatus(const std::string& text) { mView.ShowStatus(EscapeControlCharacters(text)); }

void Job::ReportToConsole(const std::string& text) {
  std::fputs((EscapeControlCharacters(text) + "\n").c_str(), stderr);
}

void Job::NoteOutcome(int status) {
  if (mOutcome == kExitOk) mOutcome = status;
}
