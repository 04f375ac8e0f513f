// Whole runs of the program: an ordinary job from start to end, where its
// log goes, its informational options, follow-up commands that cannot be
// started, and a run with a display.
#include <gtest/gtest.h>

#include "tests/job_fixture.h"
#include "tests/support/file_bytes.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Strings = std::vector<std::string>;

using Job = JobTest;

// Server: an empty /in/, no faults. Job J1 (chosen by IZBRANO) uploads every
// local *.txt and deletes each one after its upload, then starts a long
// command and one that leaves a marker when its environment has no
// QT_QPA_PLATFORM, as the program's had none. Expected: both files on the server
// byte for byte, both local copies gone, a success record per file in the
// order uploaded, both commands started without waiting for either, the
// status texts on standard output, exit status 0.
TEST_F(Job, UploadsDeletesLogsAndStartsTheFollowUpCommand) {
  fs::create_directory(Remote("in"));
  const std::string a = randomBytes(1000, 1), b = randomBytes(300, 2);
  writeBytes(Local("a.txt"), a);
  writeBytes(Local("b.txt"), b);
  // Not for *.txt: another extension, a hidden name, a directory.
  writeBytes(Local("c.dat"), "not a text file");
  writeBytes(Local(".h.txt"), "hidden");
  fs::create_directory(Local("d.txt"));
  WriteSettings(ProgramSection("J1") + JobSection("J1",
                                                  "ftpdir=/in/\nprenos1=*.txt,UP,DEL\nrun1=sleep "
                                                  "30\nrun2=[ -z \"${QT_QPA_PLATFORM+x}\" ] && " +
                                                      TouchCommand("done")));

  const JobResult run = RunProgram();

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readBytes(Remote("in/a.txt")), a);
  EXPECT_EQ(readBytes(Remote("in/b.txt")), b);
  EXPECT_EQ(Names(Remote("in")), (Strings{"a.txt", "b.txt"}));
  EXPECT_EQ(Names(local.path()), (Strings{".h.txt", "c.dat", "d.txt"}));
  EXPECT_EQ(Records(run.log),
            (Strings{Moved(Local("a.txt"), "/in/a.txt"), Moved(Local("b.txt"), "/in/b.txt")}));
  EXPECT_TRUE(ExistsWithin(Marker("done"), 5s));
  const Strings perFile = {kUploadStart, kTransferDone};
  Strings expectedOut = perFile;
  expectedOut.insert(expectedOut.end(), perFile.begin(), perFile.end());
  EXPECT_EQ(Lines(run.out), expectedOut);
  // Two uploads of 0.1 s + 1 s each, then the 5 s before the commands,
  // which are not waited for.
  EXPECT_GE(run.elapsed, 7.2s);
  EXPECT_LT(run.elapsed, 30s);
  // The log belongs to the directory the program was started in.
  EXPECT_FALSE(fs::exists(install.path() / "KESTRIN.log"));
}

// --help and --version alone on the command line answer and end: no job,
// so no connection, no log, and none of the job's pauses.
TEST_F(Job, HelpAndVersionDoNotRunTheJob) {
  fs::create_directory(Remote("in"));
  writeBytes(Local("a.txt"), "a");
  WriteSettings(ProgramSection("J1") +
                JobSection("J1", "ftpdir=/in/\nprenos1=*.txt\nrun1=" + TouchCommand("done")));

  const JobResult help = RunProgram({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("Usage: kestrin"), std::string::npos) << help.out;
  const JobResult version = RunProgram({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out.rfind("kestrin ", 0), 0u) << version.out;

  for (const JobResult& run : {help, version}) {
    EXPECT_LT(run.elapsed, 5s);
    EXPECT_EQ(run.log, "");
  }
  EXPECT_TRUE(server.commands().empty());
  EXPECT_TRUE(Names(Remote("in")).empty());
  EXPECT_FALSE(ExistsWithin(Marker("done"), 1s));
}

// The job goes well, but the shell that starts follow-up commands cannot be
// executed. Expected: the files moved and logged as usual, the failure on
// standard output, status 4.
TEST_F(Job, FollowUpCommandThatCannotStart) {
  if (!CanRunWithoutShell()) GTEST_SKIP() << "no private mount namespace here";
  fs::create_directory(Remote("in"));
  writeBytes(Local("a.txt"), "a");
  WriteSettings(ProgramSection("J1") +
                JobSection("J1", "ftpdir=/in/\nprenos1=a.txt\nrun1=" + TouchCommand("done")));

  const JobResult run = RunWithoutShell();

  EXPECT_EQ(run.status, 4) << run.err;
  EXPECT_EQ(readBytes(Remote("in/a.txt")), "a");
  EXPECT_EQ(Records(run.log), Strings{Moved(Local("a.txt"), "/in/a.txt")});
  EXPECT_NE(AfterPrefix(run.out, kFailurePrefix).find("/bin/sh"), std::string::npos) << run.out;
  EXPECT_FALSE(ExistsWithin(Marker("done"), 1s));
}

// With a display (and no window manager to activate the window) the job
// still starts by itself; the status texts then stay in the window. A
// display that goes away ends the run.
TEST_F(Job, RunsOnAnXDisplayWithoutWindowManager) {
  fs::create_directory(Remote("in"));
  writeBytes(Local("a.txt"), "on a display");
  WriteSettings(ProgramSection("J1") +
                JobSection("J1", "ftpdir=/in/\nprenos1=a.txt\nrun1=" + TouchCommand("done")));

  const JobResult run = RunWithDisplay();

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readBytes(Remote("in/a.txt")), "on a display");
  EXPECT_EQ(Records(run.log), Strings{Moved(Local("a.txt"), "/in/a.txt")});
  EXPECT_TRUE(ExistsWithin(Marker("done"), 5s));
  EXPECT_EQ(run.out.find("Status"), std::string::npos) << run.out;
  // The X server ends, or stops answering, during a download: a failure, and why.
  writeBytes(Remote("in/b.bin"), randomBytes(200000, 3));
  server.inject(R"({"fault":"trickle","cmd":"RETR","bytes":4096})");
  for (const std::string signal : {"TERM", "STOP"}) {
    const JobResult lost = RunWithDisplay({"b.bin,DOWN"}, 3s, signal);
    EXPECT_EQ(lost.status, 4) << lost.err;
    EXPECT_NE(lost.err.find("stopped unfinished"), std::string::npos) << lost.err;
  }
}

// A stale DISPLAY, as cron environments sometimes carry, must not stop an
// unattended run: the program goes on offscreen and prints its status.
TEST_F(Job, UnreachableDisplayFallsBackToOffscreen) {
  fs::create_directory(Remote("in"));
  writeBytes(Local("a.txt"), "no display after all");
  WriteSettings(ProgramSection("J1") + JobSection("J1", "ftpdir=/in/\nprenos1=a.txt"));

  const JobResult run = RunWithUnreachableDisplay();

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readBytes(Remote("in/a.txt")), "no display after all");
  EXPECT_NE(run.out.find(kTransferDone), std::string::npos) << run.out;
}
