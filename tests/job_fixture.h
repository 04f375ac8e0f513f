// A job run against a real FTP server from a working directory of its own,
// beside its kestrin.ini in a fresh install directory: in this process,
// with the job's pauses counted instead of waited; or through the built
// program, as its users run it, without a display.
#pragma once

#include <gtest/gtest.h>

#include "ftp/cftp.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/ftp_test_server.h"
#include "tests/support/temp_dir.h"

// Status texts as the program shows them; without a display it also
// prints each on a line of its own.
inline const std::string kUploadStart = "Status: prenos na strežnik...";
inline const std::string kTransferDone = "Status: Prenos je končan.";
// Before the error text of a failed upload, connection or follow-up command;
// a failed download adds a blank.
inline const std::string kFailurePrefix = "Status napaka:";
inline const std::string kDownloadFailurePrefix = "Status napaka: ";

struct JobResult {
  int status = -1;  // exit status; -1 when the program did not exit by itself
  std::string out;
  std::string err;
  std::string log;  // KESTRIN.log of the working directory, "" when there is no such file
  // From start to end; for a run in this process, with the pauses it
  // counted in place of waiting them.
  std::chrono::duration<double> elapsed{};
};

class JobTest : public ::testing::Test {
 protected:
  JobTest();

  // "[PROGRAM]" selecting the section `selected`.
  static std::string ProgramSection(const std::string& selected);
  // "[name]" with this server, its login and the local directory, then
  // `keys` ("key=value" lines, the last one may lack its line end);
  // `serverText` in place of the server's address when given.
  std::string JobSection(const std::string& name, const std::string& keys,
                         const std::string& serverText = "") const;
  void WriteSettings(const std::string& text) const;

  // The job in this process, its status texts on standard output as the
  // program without a display prints them.
  JobResult Run(const std::vector<std::string>& args = {}) const;
  // The built program.
  JobResult RunProgram(const std::vector<std::string>& args = {}) const;
  // The program under `wrapper`, a command line that runs the program (its
  // last word, or "$0" of a shell's -c text) itself.
  JobResult RunUnder(const std::vector<std::string>& wrapper,
                     const std::vector<std::string>& args) const;
  // The same, killed with its whole process group once `killNow` returns
  // true (asked every few milliseconds); its status is then -1.
  JobResult RunKilledWhen(const std::function<bool()>& killNow) const;
  // The same on a virtual X display of its own, with no window manager;
  // its X server sent `signal` `lostAfter` into the run when that is not 0.
  JobResult RunWithDisplay(const std::vector<std::string>& args = {},
                           std::chrono::seconds lostAfter = {},
                           const std::string& signal = "TERM") const;
  // The same with DISPLAY naming an X display that is not there.
  JobResult RunWithUnreachableDisplay(const std::vector<std::string>& args = {}) const;
  // The same where /bin/sh cannot be executed (in a mount namespace of the
  // run's own), so that no follow-up command can be started. Only where
  // this process may make such a namespace: see CanRunWithoutShell.
  JobResult RunWithoutShell(const std::vector<std::string>& args = {}) const;
  static bool CanRunWithoutShell();

  std::filesystem::path Local(const std::string& name) const { return local.path() / name; }
  // `path` below the server's root, e.g. "in/a.txt".
  std::filesystem::path Remote(const std::string& path) const { return server.root() / path; }
  // A file that a follow-up command creates, and the command that does it.
  std::filesystem::path Marker(const std::string& name) const { return scratch.path() / name; }
  std::string TouchCommand(const std::string& marker) const;

  // Whether `path` exists, or comes to exist within `wait`: the program does
  // not wait for its follow-up commands.
  static bool ExistsWithin(const std::filesystem::path& path, std::chrono::milliseconds wait);
  // Every name in `dir`, hidden ones too, sorted.
  static std::vector<std::string> Names(const std::filesystem::path& dir);

  // The log's records with each date-time stamp replaced by "<date>"; a
  // stamp of any other form stays and so fails the comparison. Text after
  // the last CR LF counts as a record of its own.
  static std::vector<std::string> Records(const std::string& log);
  static std::string Moved(const std::string& source, const std::string& destination);
  static std::string Failed(const std::string& source, const std::string& destination,
                            const std::string& error);
  static std::string NotConnected(const std::string& serverText, const std::string& error);

  static std::vector<std::string> Lines(const std::string& text);
  // The first line of `text` that starts with `prefix`, without the prefix;
  // "" when there is none.
  static std::string AfterPrefix(const std::string& text, const std::string& prefix);
  // How many of the server's received command lines start with `verb`.
  int Received(const std::string& verb);

  // Changes the client of a run in this process before it starts, as a test
  // may (shorter waits).
  std::function<void(cFTP&)> prepareClient;

  FtpTestServer server;
  TempDir install;  // the program and kestrin.ini
  TempDir local;    // the job's local directory
  TempDir work;     // the working directory the program is started in
  TempDir scratch;  // captured output and follow-up markers

 private:
  JobResult Launch(const std::vector<std::string>& argv,
                   const std::function<bool()>& killNow = {}) const;
  std::filesystem::path program_;
};
