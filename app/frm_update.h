// The program's one window: a view of the job. Its controls show the job as
// it runs; the job keeps its settings and its state to itself and reads
// nothing back from a control, so that nothing typed or clicked in the
// window can change what a run moves or deletes. "Zapri" and the window's
// close button, which end the run, are its only inputs. The controls are
// public and keep the names the job's procedures have for them.
#pragma once

#include "app/timer.h"
#include "job/job.h"
#include "job/job_view.h"

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

class FrmUpdate : public QWidget, public JobView {
  Q_OBJECT

 public:
  explicit FrmUpdate(QWidget* parent = nullptr);

  // Lets the window handle its pending events (paint, clicks) in the
  // middle of long work on its own thread.
  void Yield() override;
  // The same for the yields of a running transfer, which come several
  // times for every few hundred bytes: the events are processed only when
  // a short interval has passed since the last time, or when a text that
  // must be seen has been set since; otherwise this returns at once. What
  // is pending waits for the next yield that is due, nothing is dropped.
  void YieldWhenDue() override;

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

  // Timer value when the current file's transfer started.
  float mStartTime = 0;
  // Last measured rate in thousands of bytes per second.
  float mRate = 0;
  // The clock the rate is measured with; replaceable so that a run can be
  // replayed with fixed times.
  std::function<float()> mClock = Timer;

  // The settings file the job reads; "" for kestrin.ini beside the program.
  std::string mIniFile;
  bool mFirstActivate = false;
  // The job this window shows.
  Job mJob{*this};

  // The program's arguments joined by single blanks.
  std::string mCommandLine;

  // Loads the job (see Job::Load); runs once, before the window is first
  // shown.
  void Form_Load();
  // Runs the job on the first activation only, then ends the program.
  void Form_Activate();
  // Ends the process at once: no window or client clean-up runs, as the
  // job may be anywhere.
  [[noreturn]] static void EndProgram(int status);

  // What the job shows.
  void ShowJob(const JobSettings& settings) override;
  void ShowMode(bool passive) override;
  void ShowStatus(const std::string& text) override;
  void ShowLine(const std::string& pattern, bool deleteSources) override;
  void ShowFilesLeft(const std::vector<ListedFile>& files, size_t next) override;
  void ShowFile(const std::string& name) override;
  void FileStarted() override;
  void TransferProgressed(int64_t lCurrentBytes, int64_t lTotalBytes) override;
  void TransferRunProgressed(int64_t lFirstBytes, int64_t step, int64_t count,
                             int64_t lTotalBytes) override;
  void ShowTransferText(const std::string& text) override;
  void JobEnded(int status) override;

 protected:
  bool event(QEvent* e) override;
  // The window's own close button ends the run as "Zapri" does.
  void closeEvent(QCloseEvent* e) override;

 private slots:
  // "Zapri": ends the program at once, whatever the job is doing.
  void Command3_Click();

 private:
  static constexpr char kCaption[] = "FTP prenos";

  void SetupUi();
  // During a run "Zapri" and the window's close button are the only inputs.
  void MakeControlsViewOnly();
  bool eventFilter(QObject* watched, QEvent* e) override;

  // A transfer reports every few hundred bytes, far more often than anyone
  // can look: each chunk is only noted, and the controls show the last one
  // noted when they are drawn, at the yields, at the end of a file, and
  // before an event that would leave some control as an earlier one set it.
  void NoteProgress(int64_t lCurrentBytes, int64_t lTotalBytes);
  // The same for an event `elapsed` seconds into the file.
  void NoteProgressAt(int64_t lCurrentBytes, int64_t lTotalBytes, float elapsed);
  void ShowProgress();

  // What the noted events leave for the next drawing: the bar holds their
  // counts, these the rest.
  struct NotedProgress {
    bool due = false;
    // The last event that could measure a rate: the rate is only worked
    // out when it is drawn, as most events are never drawn.
    struct Measurement {
      int64_t bytes = 0;
      float elapsed = 0;
      bool positive = false;
    };
    std::optional<Measurement> rate;
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

  // Without a display nobody sees the window: status texts also go to
  // standard output, for the scheduler's mail or the journal.
  bool mEchoStatus = false;
};
