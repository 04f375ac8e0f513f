// The job: one section of the settings file run from start to end. It reads
// its settings once, moves the files of every transfer line with the FTP
// client, writes the log, starts the follow-up commands and decides the exit
// status; what happens, it tells its view. It never ends the process: a run
// that ends early returns from Run like one that went through.
#pragma once

#include "ftp/cftp.h"
#include "job/job_settings.h"
#include "job/job_view.h"
#include "job/transfer_line_syntax.h"

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class Job {
 public:
  explicit Job(JobView& view);
  ~Job();
  Job(const Job&) = delete;
  Job& operator=(const Job&) = delete;

  // Reads the job that the settings file selects (by default kestrin.ini
  // beside the program) and prepares the FTP client; shows both.
  void Load(const std::string& iniFile = "");
  // Runs the job: the command line may name another section first, then a
  // transfer line of its own. Returns the exit status, also told to the view.
  int Run(const std::string& commandLine);

  const JobSettings& Settings() const { return mSettings; }
  const std::string& IniFile() const { return mIniFile; }
  cFTP& Client() { return *mFTP; }

  // The job's pauses: by default real waits that keep the view served. A
  // test replaces them to run without the wait.
  std::function<void(std::chrono::milliseconds)> Pause;

  // One transfer line, and one file of it in each direction. False when the
  // run ends here: a file failed for good and its record was written.
  bool ftpprenos(std::string& ukaz);
  bool upload();
  bool download();

 private:
  // The transfers and the listings of downloads start from here.
  static constexpr char kRootDirectory[] = "/";

  void TakeSettings(const std::string& section);
  void CheckSettingsFile();
  int RunJob(const std::string& sExtraLine);
  bool TakeJobOrEnd();
  void ReportConnectionFailure();
  void RefuseCutValue();
  void StartFollowUps();
  void ShowStatus(const std::string& text);
  void ReportToConsole(const std::string& text);
  void NoteOutcome(int status);
  bool AppendOrReport(const std::string& record);
  void ReportDeleteFailure(const std::string& path, const std::string& reason);
  // Runs `transfer` until it succeeds, at most three times, reconnecting
  // between attempts; `errorText` tells what went wrong when the client
  // does not (by default it does).
  bool TryThreeTimes(const std::string& startText, const std::function<bool()>& transfer,
                     const std::function<std::string()>& errorText = {});
  void StartFile(const std::string& startText, std::string& remotePath, std::string& localPath);
  // The status line, the failure record and the exit status of a file or a
  // listing that failed; false when the record could not be written.
  bool RecordFailure(const std::string& prefix, const std::string& source,
                     const std::string& destination, const std::string& error);
  // After the last failed attempt; false when the run ends there.
  bool GiveUp(const std::string& prefix, const std::string& source, const std::string& destination,
              const std::string& error);
  bool RefusedAtOnce(const std::string& prefix, const std::string& source,
                     const std::string& destination, bool download);
  // The files of a line; false when the listing failed for good, with
  // `goOn` false when the run ends there.
  bool ListLineFiles(const TransferLine& line, std::vector<ListedFile>& files, bool& goOn);

  JobView& mView;
  std::string mIniFile;
  JobSettings mSettings;
  std::unique_ptr<cFTP> mFTP;
  // The file being moved: its name as exact bytes and what its listing said.
  ListedFile mFile;
  // Whether the current line deletes its sources.
  bool mDeleteSources = false;
  // The first failure decides the exit status.
  int mOutcome = 0;
  // Why the settings file could not be read; empty when it could.
  std::string mSettingsProblem;
};
