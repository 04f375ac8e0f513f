// The whole program against hostile input: a mangled settings file, odd
// local and remote file names, and the secrecy of the password.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tuple>

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "tests/job_fixture.h"
#include "tests/support/file_bytes.h"
#include "tests/support/json_text.h"

namespace fs = std::filesystem;
using Strings = std::vector<std::string>;

namespace {

class BadInput : public JobTest {
 protected:
  BadInput() { fs::create_directory(JobDir()); }

  // The job's local directory, one level down, so that anything written
  // beside it shows up in local.path().
  fs::path JobDir() const { return local.path() / "job"; }
  fs::path InJob(const std::string& name) const { return JobDir() / name; }

  // Job section J1 selected, with this password and the local directory
  // above, and `keys` after that.
  std::string Settings(const std::string& password, const std::string& keys) const {
    return ProgramSection("J1") + "[J1]\nFTPURL=" + server.address() +
           "\nuporabnik=" + server.user() + "\ngeslo=" + password +
           "\nlocaldir=" + JobDir().string() + "/\nftpdir=/in/\n" + keys + "\n";
  }

  // The record of a failed move, whatever the error text.
  static bool IsFailure(const std::string& record, const std::string& source,
                        const std::string& destination) {
    return record.starts_with(Failed(source, destination, ""));
  }
};

// Ahead of the settings: 64 KB of noise, a line of a megabyte, a section
// without keys, a key without "=", CR, LF and CR LF line ends, then a second
// J1 section and a repeated key whose values must not count.
TEST_F(BadInput, MangledSettingsFileStillReadsByTheRules) {
  fs::create_directory(Remote("in"));
  writeBytes(InJob("a.up"), "first");
  writeBytes(InJob("b.up"), "second");
  std::mt19937 random(5);
  std::string noise;
  for (int i = 0; i < 65'536; ++i) noise += static_cast<char>(random() % 256);
  const std::string settings = Settings(server.password(), "novalue\rprenos1=a.up\r\nprenos1=b.up");
  WriteSettings(noise + "\n" + std::string(1 << 20, '=') + "\r[Empty]\r\n" + settings +
                "[J1]\nprenos2=b.up\n");

  const JobResult run = Run();

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Records(run.log), Strings{Moved(InJob("a.up"), "/in/a.up")});
  EXPECT_EQ(Names(Remote("in")), Strings{"a.up"});
}

// Spaces, letters beyond ASCII, a leading "-" and a name of 255 bytes all
// travel through the comma list and arrive under their own names.
TEST_F(BadInput, UnusualLocalNamesUploadUnderTheirOwnNames) {
  fs::create_directory(Remote("in"));
  const Strings names = {"-leading.up", "with  space.up", std::string(252, 'n') + ".up",
                         "\xC4\x8D\xC5\xA1\xC5\xBE \xC3\xBC.up"};
  for (const std::string& name : names) writeBytes(InJob(name), "bytes of " + name);
  WriteSettings(Settings(server.password(), "prenos1=*.up,UP,DEL"));

  const JobResult run = Run();

  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(Records(run.log).size(), names.size()) << run.log;
  for (const std::string& name : names)
    EXPECT_EQ(readBytes(Remote("in/" + name)), "bytes of " + name) << name;
  EXPECT_EQ(Names(JobDir()), Strings{});
}

// A "," and a quote are ordinary characters of a name: each file arrives
// under its own name and its source goes.
TEST_F(BadInput, CommasAndQuotesInLocalNamesMoveIntact) {
  fs::create_directory(Remote("in"));
  for (const Strings& files : {Strings{"a,b.up", "c.up"}, Strings{"q'r.up"}}) {
    for (const std::string& name : files) writeBytes(InJob(name), name);
    WriteSettings(Settings(server.password(), "prenos1=*.up,UP,DEL"));

    const JobResult run = Run();

    EXPECT_EQ(run.status, 0) << files[0];
    Strings records;
    for (const std::string& name : files) records.push_back(Moved(InJob(name), "/in/" + name));
    EXPECT_EQ(Records(run.log), records);
    EXPECT_EQ(Names(JobDir()), Strings{});
    EXPECT_EQ(Names(Remote("in")), files);
    for (const std::string& name : files) fs::remove(Remote("in/" + name));
    fs::remove(work.path() / "KESTRIN.log");
  }
}

// Backslashes and dots are ordinary characters of a name here: each file
// arrives under its own name in the job's directory.
TEST_F(BadInput, OddRemoteNamesDownloadInsideTheLocalDirectory) {
  for (const Strings& names : {Strings{"...", "..evil", "a..b", "a\\b"}}) {
    fs::create_directories(Remote("in"));
    for (const std::string& name : names) writeBytes(Remote("in/" + name), "bytes of " + name);
    WriteSettings(Settings(server.password(), "prenos1=*,DOWN"));

    const JobResult run = Run();

    EXPECT_EQ(run.status, 0) << run.log;
    EXPECT_EQ(Names(JobDir()), names);
    for (const std::string& name : names) EXPECT_EQ(readBytes(InJob(name)), "bytes of " + name);
    EXPECT_EQ(Names(local.path()), Strings{"job"});
    fs::remove_all(Remote("in"));
    fs::remove_all(JobDir());
    fs::create_directory(JobDir());
    fs::remove(work.path() / "KESTRIN.log");
  }
}

// "z,.." is a name like any other and arrives as such. Names with control
// characters cannot be sent to the server at all: each fails at once, with
// no attempt, its record escaped, and nothing is written outside the job's
// directory.
TEST_F(BadInput, RemoteNamesNeverEscapeTheLocalDirectory) {
  fs::create_directory(Remote("in"));
  struct Case {
    std::string name, logged;  // logged: "" when the file moves
  };
  for (const Case& c : {Case{"z,..", ""}, Case{"x\x01y", "x\\x01y"}, Case{"x\ty", "x\\ty"}}) {
    writeBytes(Remote("in/" + c.name), "bytes");
    WriteSettings(Settings(server.password(), "prenos1=*,DOWN"));

    const JobResult run = Run();

    EXPECT_EQ(run.status, c.logged.empty() ? 0 : 1) << c.logged;
    EXPECT_EQ(Names(local.path()), Strings{"job"}) << c.logged;
    if (c.logged.empty()) {
      EXPECT_EQ(Names(JobDir()), Strings{c.name});
    } else {
      EXPECT_EQ(Names(JobDir()), Strings{});
      const Strings records = Records(run.log);
      ASSERT_EQ(records.size(), 1u) << run.log;
      EXPECT_TRUE(IsFailure(records[0], "/in/" + c.logged, InJob(c.logged))) << records[0];
      EXPECT_NE(records[0].find("control character"), std::string::npos) << records[0];
      EXPECT_EQ(Received("RETR"), 1);  // z,.. only
    }
    fs::remove(Remote("in/" + c.name));
    fs::remove_all(JobDir());
    fs::create_directory(JobDir());
    fs::remove(work.path() / "KESTRIN.log");
  }
}

// A directory value longer than the settings reader takes (254 characters)
// would be another directory once cut: downloads would land beside the one
// meant. A transfer line would be another line: here its direction, DOWN
// cut to DOW, an upload. The run stops before connecting, says why, and
// moves nothing.
TEST_F(BadInput, ValuesCutByTheReaderStopTheRun) {
  const std::string outer(130, 'd');
  const std::string longDir = JobDir().string() + "/" + outer + "/" + std::string(130, 'e') + "/";
  fs::create_directories(longDir);
  fs::create_directory(Remote("in"));
  writeBytes(Remote("in/a.dl"), "a");
  for (const std::string key : {"localdir", "ftpdir", "prenos1"}) {
    const std::string value =
        key == "localdir" ? longDir
        : key == "ftpdir" ? "/in/" + std::string(130, 'r') + "/" + std::string(130, 's') + "/"
                          : std::string(250, 'p') + ",DOWN";
    // The first value of a key counts, so this one comes before the usual.
    WriteSettings(ProgramSection("J1") + "[J1]\n" + key + "=" + value + "\n" +
                  Settings(server.password(), "prenos1=a.dl,DOWN\nrun1=" + TouchCommand("run"))
                      .substr(ProgramSection("J1").size() + 5));

    const JobResult run = Run();

    EXPECT_EQ(run.status, 4) << key;
    EXPECT_NE(AfterPrefix(run.out, kFailurePrefix).find(key), std::string::npos) << run.out;
    EXPECT_NE(run.err.find(key), std::string::npos) << run.err;
    ASSERT_EQ(Records(run.log).size(), 1u) << run.log;
    EXPECT_NE(Records(run.log)[0].find(key + " is longer"), std::string::npos) << run.log;
    EXPECT_EQ(Received("USER"), 0);
    EXPECT_EQ(Names(JobDir()), Strings{outer});
    EXPECT_EQ(Names(JobDir() / outer), Strings{std::string(130, 'e')});
    EXPECT_FALSE(ExistsWithin(Marker("run"), std::chrono::milliseconds(500)));
    fs::remove(work.path() / "KESTRIN.log");
  }
}

// Another user took the names in /tmp that a lock could use first: a
// directory open to all, a link. The lock is in the user's home, so the job runs.
TEST_F(BadInput, LockNamesOthersMadeCannotBlockTheJob) {
  WriteSettings(Settings(server.password(), ""));
  const std::string taken = "/tmp/kestrin-" + std::to_string(getuid());
  fs::remove_all(taken);
  for (const bool asLink : {false, true}) {
    asLink ? fs::create_directory_symlink(scratch.path(), taken)
           : (void)fs::create_directory(taken);
    if (!asLink) fs::permissions(taken, fs::perms::all);
    const JobResult run = Run();
    fs::remove(taken);
    EXPECT_EQ(run.status, 0) << run.err;
  }
}

// The lock directory as another user could leave it: open to all, or not
// the user's own; the run refuses it and says why. A sound one holds the
// lock while the job runs, and nothing afterwards.
TEST_F(BadInput, LockDirectoryMustBeTheUsersOwn) {
  if (!CanRunWithoutShell()) GTEST_SKIP() << "no mount namespace here";
  const std::string cache = std::string(getpwuid(getuid())->pw_dir) + "/.cache";
  const std::string lockDir = cache + "/kestrin";
  mkdir(cache.c_str(), 0700);
  mkdir(lockDir.c_str(), 0700);  // as a run makes it: the test's own goes on top
  const fs::path locks = scratch.path() / "locks";
  WriteSettings(Settings(server.password(), ""));
  const std::string watch = "mount --bind " + locks.string() + " " + lockDir +
                            R"( && mount -o remount,bind,$1 )" + lockDir +
                            R"( && rm -f st && : >seen || exit 9
    ("$0"; echo $? >st) & while [ ! -e st ]; do ls )" +
                            lockDir + " >>seen; sleep 0.1; done; exit $(cat st)";
  // A read-only one, as on a read-only home, leaves the lock to /tmp.
  for (const auto& [mode, owner, status, ro] : {std::tuple{0700, 0u, 0, "rw"},
                                                {0777, 0u, 4, "rw"},
                                                {0700, 65534u, 4, "rw"},
                                                {0700, 0u, 0, "ro"}}) {
    fs::create_directory(locks);
    fs::permissions(locks, static_cast<fs::perms>(mode));
    ASSERT_EQ(chown(locks.c_str(), owner, 0), 0);
    const JobResult run = RunUnder(
        {"/usr/bin/unshare", "--mount", "--propagation", "private", "/bin/sh", "-c", watch}, {ro});
    EXPECT_EQ(run.status, status) << run.err;
    EXPECT_EQ(readBytes(work.path() / "seen").find(".lock") != std::string::npos,
              status == 0 && ro[1] == 'w');
    EXPECT_EQ(run.err.find(lockDir + " is not") != std::string::npos, status != 0) << run.err;
    EXPECT_EQ(Names(locks), Strings{});
    fs::remove_all(locks);
  }
}

// Watches the command lines of all processes while a run goes on.
class CommandLineWatch {
 public:
  CommandLineWatch(std::string program, std::string secret)
      : program_(std::move(program)), secret_(std::move(secret)), thread_([this] { Watch(); }) {}
  ~CommandLineWatch() { Stop(); }

  void Stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
  }
  bool SawProgram() const { return saw_program_; }
  // Any process of the program with the secret; with everywhere, any process at all.
  bool Leaked(bool everywhere) const { return everywhere ? leaked_anywhere_ : leaked_by_program_; }

 private:
  void Watch() {
    while (!done_) {
      for (const auto& entry : fs::directory_iterator("/proc")) {
        std::ifstream file(entry.path() / "cmdline", std::ios::binary);
        const std::string line{std::istreambuf_iterator<char>(file),
                               std::istreambuf_iterator<char>()};
        const bool program = line.find(program_) != std::string::npos;
        const bool secret = line.find(secret_) != std::string::npos;
        saw_program_ = saw_program_ || program;
        leaked_by_program_ = leaked_by_program_ || (program && secret);
        leaked_anywhere_ = leaked_anywhere_ || secret;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  std::string program_, secret_;
  std::atomic<bool> done_{false}, saw_program_{false}, leaked_by_program_{false},
      leaked_anywhere_{false};
  std::thread thread_;
};

// A refused login with a password of the job's own (the test server is
// started with its password on its command line, this one nobody has).
TEST_F(BadInput, RefusedPasswordIsShownNowhere) {
  const std::string secret = "pw-Q7zR4-never-shown";
  WriteSettings(Settings(secret, "prenos1=*.up"));

  CommandLineWatch watch(install.path().string(), secret);
  const JobResult run = RunProgram();
  watch.Stop();

  EXPECT_FALSE(run.log.empty());
  EXPECT_TRUE(watch.SawProgram());
  EXPECT_FALSE(watch.Leaked(true));
  for (const std::string* text : {&run.log, &run.out, &run.err})
    EXPECT_EQ(text->find(secret), std::string::npos) << *text;
}

// A transfer the server refuses with shell syntax in its reply: the reply
// reaches the log as text, nothing of it runs, and the password (the
// server's own this time) stays out of every output of the program.
TEST_F(BadInput, FailedTransferLeaksNoPasswordAndRunsNoReply) {
  fs::create_directory(Remote("in"));
  writeBytes(InJob("a.up"), "a");
  const std::string reply = "no $(touch " + Marker("m1").string() + ") `touch " +
                            Marker("m2").string() + "`; touch " + Marker("m3").string();
  server.inject(R"({"fault":"reply","cmd":"STOR","code":552,"text":)" + jsonQuote(reply) + "}");
  WriteSettings(Settings(server.password(), "prenos1=a.up\nrun1=true"));

  CommandLineWatch watch(install.path().string(), server.password());
  const JobResult run = RunProgram();
  watch.Stop();

  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.log.find("$(touch"), std::string::npos) << run.log;
  EXPECT_TRUE(watch.SawProgram());
  EXPECT_FALSE(watch.Leaked(false));
  for (const std::string* text : {&run.log, &run.out, &run.err})
    EXPECT_EQ(text->find(server.password()), std::string::npos) << *text;
  for (const char* marker : {"m1", "m2", "m3"}) EXPECT_FALSE(fs::exists(Marker(marker))) << marker;
}

}  // namespace
