// Loading the window: the job's settings and the FTP client.
#include "app/frm_update.h"

#include "base/posix_io.h"
#include "job/present_value.h"
#include "job/program_dir.h"
#include "settings/rwini1.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>

namespace {

constexpr char kIniFileName[] = "kestrin.ini";
constexpr char kProgramSection[] = "PROGRAM";
constexpr char kSelectedKey[] = "IZBRANO";
constexpr char kRemoteDirectoryKey[] = "ftpdir";
constexpr char kLocalDirectoryKey[] = "localdir";
// The one value that selects passive mode, matched exactly.
constexpr char kPassiveValue[] = "PASIVE";
constexpr char kPassiveCaption[] = "Pasivno";
constexpr char kActiveCaption[] = "Aktivno";
// Like the mode, the values that change how the job connects and uploads
// are matched exactly: anything else keeps the default, which for the
// certificate check is the safe one.
constexpr char kNoVerifyValue[] = "NO";
constexpr char kTempUploadValue[] = "YES";
constexpr char kNotRegularReason[] = "not a regular file";

QString Text(const std::string& text) { return QString::fromStdString(text); }

bool IsHeadless() {
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

}  // namespace

// Server, directories and login of section mSection; an absent local
// directory means the program's own. The certificate check and the way of
// uploading go with the server, so they come from the same section.
void FrmUpdate::ReadJob() {
  mServer = ReadINI(mSection, "FTPURL", mIniFile);
  mRemoteDir = ReadINI(mSection, kRemoteDirectoryKey, mIniFile);
  mLocalDir = ReadINI(mSection, kLocalDirectoryKey, mIniFile);
  if (!IsPresent(mLocalDir)) mLocalDir = ProgramDirectory() + "/";
  textURL->setText(Text(mServer));
  textDIR->setText(Text(mRemoteDir));
  textLDIR->setText(Text(mLocalDir));
  mCutDirectoryKey.clear();
  for (const char* key : {kRemoteDirectoryKey, kLocalDirectoryKey})
    if (IsINIValueCut(mSection, key, mIniFile)) mCutDirectoryKey = key;
  mUser = ReadINI(mSection, "uporabnik", mIniFile);
  mPassword = ReadINI(mSection, "geslo", mIniFile);
  const std::string caFile = ReadINI(mSection, "cafile", mIniFile);
  mFTP->SetCaFile(IsPresent(caFile) ? caFile : "");
  mTlsVerify = ReadINI(mSection, "tlsverify", mIniFile) != kNoVerifyValue;
  mFTP->SetTlsVerify(mTlsVerify);
  mFTP->SetTempUpload(ReadINI(mSection, "tempupload", mIniFile) == kTempUploadValue);
}

// Unread settings would show only as a server name that cannot be
// resolved: the file is named, with the reason, before that happens. It is
// opened without waiting, as a FIFO in its place would hold the open (and
// the read) until some writer came, and the settings reader reads only a
// regular file.
void FrmUpdate::CheckSettingsFile() {
  struct stat info {};
  const int fd = OpenWithoutWaiting(mIniFile, info);
  std::string reason = fd < 0 ? std::strerror(errno) : "";
  char first;
  if (fd >= 0 && !S_ISREG(info.st_mode))
    reason = kNotRegularReason;
  else if (fd >= 0 && ::read(fd, &first, 1) < 0)
    reason = std::strerror(errno);
  if (fd >= 0) ::close(fd);
  if (reason.empty()) return;
  mSettingsProblem = "cannot read the settings file " + mIniFile + ": " + reason;
  ShowStatus(kFailureStatus + mSettingsProblem);
  ReportToConsole("kestrin: " + mSettingsProblem);
}

void FrmUpdate::AttachClient(cFTP& client) {
  client.FileTransferProgress = [this](int64_t current, int64_t total) {
    NoteProgress(current, total);
  };
  client.YieldToWindow = [this] { YieldWhenDue(); };
  client.YieldWhileBlocked = [this] { Yield(); };
  // The upload's closing texts stand for a second each: the next yield
  // must show them.
  client.ShowTransferText = [this](const std::string& text) {
    Label11->setText(Text(text));
    mYieldDue = true;
  };
}

void FrmUpdate::Form_Load() {
  mEchoStatus = IsHeadless();
  if (mIniFile.empty()) mIniFile = ProgramDirectory() + "/" + kIniFileName;
  CheckSettingsFile();
  mSection = ReadINI(kProgramSection, kSelectedKey, mIniFile);
  // The client comes first: reading a job hands it part of the settings.
  mFTP = std::make_unique<cFTP>();
  AttachClient(*mFTP);
  ReadJob();
  const std::string mode = ReadINI(mSection, "mode", mIniFile);

  if (mode == kPassiveValue) {
    mFTP->SetModePassive();
    Lblmode->setText(QString::fromLatin1(kPassiveCaption));
  } else {
    mFTP->SetModeActive();
    Lblmode->setText(QString::fromLatin1(kActiveCaption));
  }
  mFTP->SetTransferBinary();
  mFirstActivate = true;
}
