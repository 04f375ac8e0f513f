// Runs whose outcome could pass for a success: a server that keeps less than
// it confirms, a source that changes while it moves, a delete, a record or a
// follow-up program that fails, unreadable settings, a second start of the
// same job, what a killed run left behind, and a reader of the status echo
// that goes away. Each must show in the exit status, on standard error, or
// in what the run leaves on both sides.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cstdlib>
#include <functional>
#include <optional>

#include <gtest/gtest.h>

#include "tests/job_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/json_text.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

const std::string kOriginal = randomBytes(20000, 11);
const std::string kMore = "MORE";

class Outcome : public JobTest {
 protected:
  Outcome() { fs::create_directory(Remote("in")); }
};

// Where a case's faults and preparations act.
struct Dirs {
  fs::path local, remote, work, install;
};

// The JSON line of a fault that, like a producer writing a new version,
// renames a copy of `path` with kMore appended over it when `cmd` (its
// occurrence `after` + 1) comes, or with `answered` once it is answered.
std::string Replace(const std::string& cmd, const fs::path& path, int after, bool answered) {
  return R"({"fault":"replace_source","cmd":")" + cmd + R"(","path":)" + jsonQuote(path.string()) +
         R"(,"data":")" + kMore + R"(","times":1,"after":)" + std::to_string(after) +
         R"(,"answered":)" + (answered ? "true" : "false") + "}";
}

// The JSON line of a fault that appends kMore to `path` at the end of each
// of the first `times` transfers of `cmd`.
std::string Change(const std::string& cmd, const fs::path& path, int times) {
  return R"({"fault":"change_source","cmd":")" + cmd + R"(","path":)" + jsonQuote(path.string()) +
         R"(,"data":")" + kMore + R"(","times":)" + std::to_string(times) + "}";
}

struct OutcomeCase {
  const char* name;
  bool download;  // a.bin starts on the server, else in the local directory
  std::string keys;
  std::function<std::vector<std::string>(const Dirs&)> faults;
  std::function<void(const Dirs&)> prepare;
  int status;
  std::string said;                        // on standard error; "" when nothing may be
  std::optional<std::string> sourceAfter;  // nullopt when the source must be gone
  std::optional<std::string> destinationAfter;
};

// Named by its name in test listings, not by its bytes.
void PrintTo(const OutcomeCase& c, std::ostream* os) { *os << c.name; }

std::vector<std::string> None(const Dirs&) { return {}; }
void Nothing(const Dirs&) {}

class OutcomeCases : public Outcome, public ::testing::WithParamInterface<OutcomeCase> {};

// Expected, case by case: the exit status, the words on standard error
// (none for a run that needs none), and what each side holds afterwards.
TEST_P(OutcomeCases, ShowsInStatusAndFiles) {
  const OutcomeCase& c = GetParam();
  const fs::path source = c.download ? Remote("in/a.bin") : Local("a.bin");
  const fs::path destination = c.download ? Local("a.bin") : Remote("in/a.bin");
  writeBytes(source, kOriginal);
  const Dirs dirs{local.path(), Remote("in"), work.path(), install.path()};
  for (const std::string& fault : c.faults(dirs)) server.inject(fault);
  WriteSettings(ProgramSection("J1") + JobSection("J1", "ftpdir=/in/\n" + c.keys));
  c.prepare(dirs);

  const JobResult run = Run();

  EXPECT_EQ(run.status, c.status) << run.out << run.err;
  if (c.said.empty()) {
    EXPECT_EQ(run.err, "");
  } else {
    EXPECT_NE(run.err.find(c.said), std::string::npos) << run.err;
  }
  EXPECT_EQ(fs::exists(source) ? std::optional(readBytes(source)) : std::nullopt, c.sourceAfter);
  EXPECT_EQ(fs::exists(destination) ? std::optional(readBytes(destination)) : std::nullopt,
            c.destinationAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Job, OutcomeCases,
    ::testing::Values(
        // The server answers DELE with 550: the file moved, its source stays,
        // and the run says so.
        OutcomeCase{"RefusedDelete", true, "prenos1=a.bin,DOWN,DEL",
                    [](const Dirs&) {
                      return std::vector<std::string>{
                          R"({"fault":"reply","cmd":"DELE","code":550,"text":"Not yours."})"};
                    },
                    Nothing, 1, "could not delete /in/a.bin: 550 Not yours.", kOriginal, kOriginal},
        // The server keeps 1000 bytes of every upload and answers 226 all the
        // same: no attempt is believed, the source stays, nothing partial
        // stays on the server.
        OutcomeCase{"ShortUploadAnswered226", false, "prenos1=a.bin,UP,DEL",
                    [](const Dirs&) {
                      return std::vector<std::string>{R"({"fault":"short_stor","bytes":1000})"};
                    },
                    Nothing, 1, "", kOriginal, std::nullopt},
        // The local file grows during its first upload: that attempt fails,
        // the second moves the new content, and only then the source goes.
        OutcomeCase{"UploadSourceChangedOnce", false, "prenos1=a.bin,UP,DEL",
                    [](const Dirs& d) {
                      return std::vector<std::string>{Change("STOR", d.local / "a.bin", 1)};
                    },
                    Nothing, 0, "", std::nullopt, kOriginal + kMore},
        // It grows during every upload: it fails for good after three.
        OutcomeCase{"UploadSourceKeepsChanging", false, "prenos1=a.bin,UP,DEL",
                    [](const Dirs& d) {
                      return std::vector<std::string>{Change("STOR", d.local / "a.bin", 3)};
                    },
                    Nothing, 1, "", kOriginal + kMore + kMore + kMore, std::nullopt},
        // The remote file grows as its first download ends: the retry
        // fetches the new content before the source is deleted.
        OutcomeCase{"DownloadSourceChangedOnce", true, "prenos1=a.bin,DOWN,DEL",
                    [](const Dirs& d) {
                      return std::vector<std::string>{Change("RETR", d.remote / "a.bin", 1)};
                    },
                    Nothing, 0, "", std::nullopt, kOriginal + kMore},
        // The local source is replaced while the server answers SIZE: the
        // attempt fails, the retry sends the new version, and only that goes.
        OutcomeCase{"UploadSourceReplacedDuringSize", false, "prenos1=a.bin,UP,DEL",
                    [](const Dirs& d) {
                      return std::vector<std::string>{Replace("SIZE", d.local / "a.bin", 0, false)};
                    },
                    Nothing, 0, "", std::nullopt, kOriginal + kMore},
        // The remote source is replaced after its last check before the local
        // commit: the check before DELE sees it, and the new version stays.
        OutcomeCase{"DownloadSourceReplacedDuringCommit", true, "prenos1=a.bin,DOWN,DEL",
                    [](const Dirs& d) {
                      return std::vector<std::string>{Replace("SIZE", d.remote / "a.bin", 2, true)};
                    },
                    Nothing, 1, "could not delete /in/a.bin", kOriginal + kMore, kOriginal},
        // The server lists the file twice: it moves, and its source goes, once.
        OutcomeCase{"DownloadListedTwice", true, "prenos1=a.bin,DOWN,DEL",
                    [](const Dirs&) {
                      const std::string entry = "type=file;size=20000; a.bin\r\n";
                      return std::vector<std::string>{R"({"fault":"listing","cmd":"MLSD","data":)" +
                                                      jsonQuote(entry + entry) + "}"};
                    },
                    Nothing, 0, "", std::nullopt, kOriginal},
        // A hot folder takes each upload as soon as it is stored: SIZE says
        // 550, and the upload stands after its first attempt.
        OutcomeCase{
            "HotFolderTakesUpload", false, "prenos1=a.bin,UP,DEL",
            [](const Dirs&) { return std::vector<std::string>{R"({"fault":"hot_folder"})"}; },
            Nothing, 0, "", std::nullopt, std::nullopt},
        // The local directory is the working directory (through a link): the
        // server's KESTRIN.log may not replace the log; the job goes on.
        OutcomeCase{"DownloadOfTheLogRefused", true, "prenos1=KESTRIN.log,DOWN\nprenos2=a.bin,DOWN",
                    None,
                    [](const Dirs& d) {
                      writeBytes(d.remote / "KESTRIN.log", "server text");
                      fs::remove_all(d.local);
                      fs::create_directory_symlink(d.work, d.local);
                    },
                    1, "", kOriginal, kOriginal},
        // No log record can be written: the source stays and the run fails.
        OutcomeCase{"UnwritableLog", false, "prenos1=a.bin,UP,DEL", None,
                    [](const Dirs& d) { fs::create_directory(d.work / "KESTRIN.log"); }, 1,
                    "could not write the log record", kOriginal, kOriginal},
        // The log is a FIFO nobody reads: the record fails at once, no wait.
        OutcomeCase{
            "LogFifoWithoutReader", false, "prenos1=a.bin,UP,DEL", None,
            [](const Dirs& d) { ASSERT_EQ(mkfifo((d.work / "KESTRIN.log").c_str(), 0600), 0); }, 1,
            "could not write the log record", kOriginal, kOriginal},
        // The follow-up command's program does not exist.
        OutcomeCase{"FollowUpProgramMissing", false,
                    "prenos1=a.bin,UP\nrun1=/nonexistent/prog --now", None, Nothing, 4,
                    "/nonexistent/prog: not found", kOriginal, kOriginal},
        // A command longer than the settings reader takes would run cut.
        OutcomeCase{"FollowUpCommandCut", false,
                    "prenos1=a.bin,UP\nrun1=true #" + std::string(260, 'x'), None, Nothing, 4,
                    "could not start run1", kOriginal, kOriginal},
        // The settings file is missing: it is named, with the reason.
        OutcomeCase{"MissingSettings", false, "prenos1=a.bin,UP,DEL", None,
                    [](const Dirs& d) { fs::remove(d.install / "kestrin.ini"); }, 2,
                    "kestrin.ini: No such file or directory", kOriginal, std::nullopt},
        // kestrin.ini is a link to a FIFO that nobody writes: the start does
        // not wait for a writer.
        OutcomeCase{"SettingsLinkToFifo", false, "prenos1=a.bin,UP,DEL", None,
                    [](const Dirs& d) {
                      fs::remove(d.install / "kestrin.ini");
                      ASSERT_EQ(mkfifo((d.work / "fifo").c_str(), 0600), 0);
                      fs::create_symlink(d.work / "fifo", d.install / "kestrin.ini");
                    },
                    2, "kestrin.ini: not a regular file", kOriginal, std::nullopt},
        // kestrin.ini is a sparse terabyte: refused by name, never read into memory.
        OutcomeCase{"HugeSettings", false, "prenos1=a.bin,UP,DEL", None,
                    [](const Dirs& d) { fs::resize_file(d.install / "kestrin.ini", 1ULL << 40); },
                    2, "kestrin.ini: File too large", kOriginal, std::nullopt}),
    [](const ::testing::TestParamInfo<OutcomeCase>& info) { return info.param.name; });

// Two starts of the same job, the second one second after the first: the
// second moves nothing, says why and ends at once with status 4; the file
// is uploaded once. The section as IZBRANO names it and as three command
// lines spell it (letter case, blanks, a field) is the same job.
TEST_F(Outcome, SecondStartOfARunningJobMovesNothing) {
  writeBytes(Local("a.bin"), kOriginal);
  WriteSettings(ProgramSection("JOB") + JobSection("JOB", "ftpdir=/in/\nprenos1=a.bin,UP"));

  const JobResult run = RunUnder({"/bin/sh", "-c", R"("$0" >/dev/null 2>&1 & sleep 1
    for a in "" job "JOB ," " Job"; do "$0" "$a"; r=$r$?; done; wait; [ "$r" = 4444 ])"},
                                 {});

  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.err.find("is already running"), std::string::npos) << run.err;
  EXPECT_EQ(Received("STOR"), 1);
  EXPECT_EQ(readBytes(Remote("in/a.bin")), kOriginal);
}

// A killed run's hidden temporary download file (marked as the program's
// own) is removed by the next run; one that a running download holds locked
// is not, nor a user's file or a finished download that only look like one.
TEST_F(Outcome, NextRunRemovesWhatAKilledRunLeft) {
  for (const char* name : {".a.bin.kestrin-Ab12Cd", ".b.bin.kestrin-Xy34Zw"}) {
    writeBytes(Local(name), "left by a run");
    ASSERT_EQ(setxattr(Local(name).c_str(), "user.kestrin.download", "", 0, 0), 0);
  }
  writeBytes(Local(".notes.kestrin-backup"), "a user's");
  writeBytes(Remote("in/.orders.kestrin-202608"), kOriginal);
  const int held = open(Local(".b.bin.kestrin-Xy34Zw").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_EQ(flock(held, LOCK_EX), 0);
  WriteSettings(ProgramSection("J1") + JobSection("J1", "ftpdir=/in/\nprenos1=.orders*,DOWN"));

  const JobResult run = Run();
  fs::remove(Remote("in/.orders.kestrin-202608"));  // so that only the first run fetches it
  const JobResult again = Run();
  close(held);

  EXPECT_EQ(run.status + again.status, 0) << run.err << again.err;
  EXPECT_EQ(Names(local.path()),
            (std::vector<std::string>{".b.bin.kestrin-Xy34Zw", ".notes.kestrin-backup",
                                      ".orders.kestrin-202608"}));
}

// Standard output is a pipe whose reader leaves after the first byte: the
// run goes on to the end, moves and records the file, and ends with 0.
TEST_F(Outcome, ClosedStandardOutputDoesNotStopTheRun) {
  writeBytes(Local("a.bin"), kOriginal);
  WriteSettings(ProgramSection("J1") + JobSection("J1", "ftpdir=/in/\nprenos1=a.bin,UP,DEL"));

  const JobResult run =
      RunUnder({"/bin/bash", "-c", R"("$0" | head -c1 >/dev/null; exit ${PIPESTATUS[0]})"}, {});

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(readBytes(Remote("in/a.bin")), kOriginal);
  EXPECT_FALSE(fs::exists(Local("a.bin")));
  EXPECT_EQ(Records(run.log), std::vector<std::string>{Moved(Local("a.bin"), "/in/a.bin")});
}

// The server sends its first listing, of some 1500 bytes, at five bytes a
// second: that listing fails within its bound (below 1 KiB/s over the stall
// time, here 5 s) instead of taking five minutes, and the run comes to its end.
TEST_F(Outcome, TrickledListingEndsWithinItsBound) {
  prepareClient = [](cFTP& client) { client.SetTimeouts({5, 5, 5}); };
  writeBytes(Remote("in/a.bin"), kOriginal);
  for (int n = 0; n < 25; ++n) writeBytes(Remote("in/other-" + std::to_string(n) + ".txt"), "x");
  server.inject(R"({"fault":"trickle","cmd":"MLSD","times":1})");
  WriteSettings(ProgramSection("J1") + JobSection("J1", "ftpdir=/in/\nprenos1=*.bin,DOWN"));

  const JobResult run = Run();

  EXPECT_NE(run.status, -1);
  EXPECT_LT(run.elapsed, 40s);
  EXPECT_EQ(readBytes(Remote("in/a.bin")), kOriginal);
  if (fs::exists(Local("a.bin"))) {
    EXPECT_EQ(readBytes(Local("a.bin")), kOriginal);
  }
}

// What the server cannot see, traced with strace: the downloaded file is
// renamed into place and its directory synced before DELE goes out, and
// the control connection asks for TCP keepalive, so that a long transfer
// behind a NAT keeps its completion reply. Skipped where this process may not trace.
TEST_F(Outcome, DownloadDurableBeforeDeleAndConnectionsKeptAlive) {
  if (std::system("/usr/bin/strace -o /dev/null true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "strace cannot trace here";
  writeBytes(Remote("in/a.bin"), kOriginal);
  WriteSettings(ProgramSection("J1") + JobSection("J1", "ftpdir=/in/\nprenos1=a.bin,DOWN,DEL"));
  const fs::path trace = Marker("trace");

  const JobResult run = RunUnder({"/usr/bin/strace", "-f", "-qq", "-s", "32", "-o", trace.string(),
                                  "-e", "trace=rename,renameat,renameat2,fsync,setsockopt,sendto"},
                                 {});

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(fs::exists(Remote("in/a.bin")));
  const std::string calls = readBytes(trace);
  const size_t renamed = calls.find("a.bin.kestrin-");
  const size_t synced = calls.find("fsync(", calls.find('\n', renamed));
  const size_t deleted = calls.find("DELE ");
  ASSERT_NE(renamed, std::string::npos) << calls;
  EXPECT_LT(synced, deleted) << calls;
  // The control connection, which waits through a long transfer for its
  // completion reply, asks for keepalive before it logs in.
  EXPECT_LT(calls.find("SO_KEEPALIVE, [1]"), calls.find("USER ")) << calls;
}

}  // namespace
