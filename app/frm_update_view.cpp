// The window as the job's view: loading and running the job, and what the
// controls show of it.
#include "app/frm_update.h"

#include "app/display_watch.h"
#include "base/text.h"
#include "job/exit_status.h"
#include "job/job_lock.h"
#include "job/job_settings.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

namespace {

constexpr char kPassiveCaption[] = "Pasivno";
constexpr char kActiveCaption[] = "Aktivno";
// Tdir shows the user where the line stands, nothing more: laying out a
// text of every name would take minutes for a large directory, so it shows
// the next few names and how many there are in all.
constexpr size_t kShownNames = 200;

QString Text(const std::string& text) { return QString::fromStdString(text); }

bool IsHeadless() {
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

// What Tdir shows of the names from `next` on: the first kShownNames
// joined by ",", then "..." and the count when there are more. Names that
// are not UTF-8 show as well as they can.
QString RemainingText(const std::vector<ListedFile>& files, size_t next) {
  const size_t end = std::min(files.size(), next + kShownNames);
  QString text;
  for (size_t i = next; i < end; ++i) {
    if (i > next) text += QLatin1Char(',');
    text += QString::fromUtf8(files[i].name);
  }
  if (end < files.size()) text += QStringLiteral(",... (%1)").arg(files.size() - next);
  return text;
}

}  // namespace

void FrmUpdate::Form_Load() {
  mEchoStatus = IsHeadless();
  mJob.Load(mIniFile);
  mFirstActivate = true;
}

void FrmUpdate::Form_Activate() {
  if (!mFirstActivate) return;
  mFirstActivate = false;
  // The job yields to the window in turns of its own.
  DisplayTurnEnds();
  try {
    EndProgram(mJob.Run(mCommandLine));
  } catch (const std::exception& failure) {
    const std::string text = std::string("kestrin: the run failed: ") + failure.what();
    std::fputs((EscapeControlCharacters(text) + "\n").c_str(), stderr);
    EndProgram(kExitRunFailure);
  }
}

void FrmUpdate::ShowJob(const JobSettings& settings) {
  textURL->setText(Text(settings.server));
  textDIR->setText(Text(settings.remoteDir));
  textLDIR->setText(Text(settings.localDir));
}

void FrmUpdate::ShowMode(bool passive) {
  Lblmode->setText(QString::fromLatin1(passive ? kPassiveCaption : kActiveCaption));
}

// The echo is a courtesy: a reader that went away (a closed pipe) must not
// stop the job, so its write errors are let go.
void FrmUpdate::ShowStatus(const std::string& text) {
  Label3->setText(Text(text));
  if (mEchoStatus) {
    std::fputs((text + "\n").c_str(), stdout);
    std::fflush(stdout);
  }
}

void FrmUpdate::ShowLine(const std::string& pattern, bool deleteSources) {
  Text1->setText(QString::fromUtf8(pattern));
  Chkbrisi->setChecked(deleteSources);
}

void FrmUpdate::ShowFilesLeft(const std::vector<ListedFile>& files, size_t next) {
  Tdir->setPlainText(RemainingText(files, next));
}

void FrmUpdate::ShowFile(const std::string& name) { Textimedat->setText(QString::fromUtf8(name)); }

void FrmUpdate::FileStarted() { mStartTime = mClock(); }

void FrmUpdate::TransferProgressed(int64_t lCurrentBytes, int64_t lTotalBytes) {
  NoteProgress(lCurrentBytes, lTotalBytes);
}

// The upload's closing texts stand for a second each: the next yield must
// show them.
void FrmUpdate::ShowTransferText(const std::string& text) {
  Label11->setText(Text(text));
  mYieldDue = true;
}

void FrmUpdate::JobEnded(int status) { EndProgram(status); }

void FrmUpdate::Command3_Click() { EndProgram(kExitClosed); }

// Only a download's hidden temporary file and the job's lock file are
// taken away.
void FrmUpdate::EndProgram(int status) {
  cFTP::RemoveUnfinishedDownload();
  ReleaseJobLock();
  std::fflush(stdout);
  std::fflush(stderr);
  std::_Exit(status);
}
