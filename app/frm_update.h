// The program's one window. Its controls show the job as it runs; the job
// keeps its working values in members of its own and never reads them back
// from a control, so that nothing typed or clicked in the window can change
// what a run moves or deletes. The controls are public and keep the names
// the job's procedures use for them.
#pragma once

#include "app/timer.h"
#include "ftp/cftp.h"
#include "job/transfer_line_syntax.h"

#include <QWidget>

#include <chrono>
#include <cstdint>
#include <functional>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class ProgressBar;

class FrmUpdate : public QWidget {
  Q_OBJECT

 public:
  explicit FrmUpdate(QWidget* parent = nullptr);

  // Lets the window handle its pending events (paint, clicks) in the
  // middle of long work on its own thread.
  void Yield();
  // The same for the yields of a running transfer, which come several
  // times for every few hundred bytes: the events are processed only when
  // a short interval has passed since the last time, or when a text that
  // must be seen has been set since; otherwise this returns at once. What
  // is pending waits for the next yield that is due, nothing is dropped.
  void YieldWhenDue();

  // Lets a client report its progress here, yield to this window and show
  // its closing texts in the time-remaining label.
  void AttachClient(cFTP& client);

  QPlainTextEdit* Tdir = nullptr;
  QCheckBox* Chkbrisi = nullptr;
  QLineEdit* Text1 = nullptr;
  QLineEdit* textLDIR = nullptr;
  QLineEdit* textDIR = nullptr;
  QLineEdit* Textimedat = nullptr;
  QLineEdit* textURL = nullptr;
  QPushButton* Command3 = nullptr;
  ProgressBar* PB = nullptr;
  QLabel* Lblmode = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label11 = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* Label9 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label3 = nullptr;

  // Refreshes the bar and the progress labels for one chunk of a transfer:
  // lCurrentBytes moved so far out of lTotalBytes. A running transfer
  // reports through the client attached, which draws less often.
  void mFTP_FileTransferProgress(int64_t lCurrentBytes, int64_t lTotalBytes);

  // A whole number of seconds as "HH:MM:SS"; hours go on past 23. Empty
  // when TheTime is negative or not a finite number.
  static std::string ConvertTime(float TheTime);

  // The file being moved: its name as exact bytes and what its listing
  // said. Textimedat shows the name; the transfers read it from here.
  ListedFile mFile;

  // Timer value when the current file's transfer started.
  float mStartTime = 0;
  // Last measured rate in thousands of bytes per second.
  float mRate = 0;
  // The clock the rate is measured with; replaceable so that a run can be
  // replayed with fixed times.
  std::function<float()> mClock = Timer;

  // The job, as the settings gave it: server, directories, and whether the
  // current line deletes its sources. The controls only show these.
  std::string mServer;
  std::string mRemoteDir;
  std::string mLocalDir;
  bool mDeleteSources = false;
  std::string mSection;
  std::string mUser;
  std::string mPassword;
  std::string mIniFile;
  bool mFirstActivate = false;
  std::unique_ptr<cFTP> mFTP;
  // tlsverify: false only when the job turned the certificate check off.
  bool mTlsVerify = true;

  // A directory key whose value the settings reader cut, or "".
  std::string mCutDirectoryKey;

  // The program's arguments joined by single blanks.
  std::string mCommandLine;

  // Reads the job from the settings file (mIniFile, by default
  // kestrin.ini beside the program) and prepares the FTP client; runs
  // once, before the window is first shown.
  void Form_Load();
  // Starts the job on the first activation only; never returns then.
  void Form_Activate();

  void ftpprenos(std::string& ukaz);
  void upload();
  void download();

 protected:
  bool event(QEvent* e) override;
  // The window's own close button ends the run as "Zapri" does.
  void closeEvent(QCloseEvent* e) override;

 private slots:
  // "Zapri": ends the program at once, whatever the job is doing.
  void Command3_Click();

 private:
  static constexpr char kCaption[] = "FTP prenos";
  // Opens the status line of every failure, followed by its error text.
  static constexpr char kFailureStatus[] = "Status napaka:";

  void SetupUi();
  // During a run "Zapri" and the window's close button are the only inputs.
  void MakeControlsViewOnly();
  bool eventFilter(QObject* watched, QEvent* e) override;

  void ReadJob();
  void CheckSettingsFile();
  [[noreturn]] void RunJob(std::string sExtraLine);
  void TakeJobOrEnd();
  void ReportConnectionFailure();
  [[noreturn]] void RefuseCutDirectory();
  void StartFollowUps();
  void ShowStatus(const std::string& text);
  void ReportToConsole(const std::string& text);
  void NoteOutcome(int status);
  // A pause of the job that keeps the window served throughout.
  void Wait(std::chrono::milliseconds length);
  void ReportDeleteFailure(const std::string& path, const std::string& reason);
  [[noreturn]] void EndProgram(int status);
  // Runs `transfer` until it succeeds, at most three times, reconnecting
  // between attempts; `errorText` tells what went wrong when the client
  // does not (by default it does).
  bool TryThreeTimes(const std::string& startText, const std::function<bool()>& transfer,
                     const std::function<std::string()>& errorText = {});
  bool AppendOrReport(const std::string& record);
  void StartFile(const std::string& startText, std::string& remotePath, std::string& localPath);
  // The status line, the failure record and the exit status of a file or a
  // listing that failed; false when the record could not be written.
  bool RecordFailure(const std::string& prefix, const std::string& source,
                     const std::string& destination, const std::string& error);
  void GiveUp(const std::string& prefix, const std::string& source, const std::string& destination);
  void GiveUp(const std::string& prefix, const std::string& source, const std::string& destination,
              const std::string& error);
  bool RefusedAtOnce(const std::string& prefix, const std::string& source,
                     const std::string& destination, bool download);
  bool ListLineFiles(const TransferLine& line, std::vector<ListedFile>& files);
  static std::string DownloadFailureStatus();

  // A transfer reports every few hundred bytes, far more often than anyone
  // can look: each chunk is only noted, and the controls show the last one
  // noted when they are drawn, at the yields, at the end of a file, and
  // before an event that would leave some control as an earlier one set it.
  void NoteProgress(int64_t lCurrentBytes, int64_t lTotalBytes);
  void ShowProgress();

  // What the noted events leave for the next drawing: the bar holds their
  // counts, these the rest.
  struct NotedProgress {
    bool due = false;
    // The rate measured at the last event that could measure one.
    std::optional<int64_t> hundredths;
    // The bar's value before the last event: its percentage is shown.
    float previous = 0;
    // The events were noted while the window was minimized.
    bool minimized = false;
  };
  NotedProgress mNoted;
  // The rate the rate label's text was made for.
  float mRateShown = std::numeric_limits<float>::quiet_NaN();

  // When the events were last processed, on the coarse monotonic clock.
  int64_t mLastYieldNs = 0;
  unsigned mAsksSinceClock = 0;
  // A text was set that must reach the screen at the next Yield.
  bool mYieldDue = false;

  // The first failure decides the exit status.
  int mOutcome = 0;
  // Why the settings file could not be read; empty when it could.
  std::string mSettingsProblem;
  // Without a display nobody sees the window: status texts also go to
  // standard output, for the scheduler's mail or the journal.
  bool mEchoStatus = false;
};
