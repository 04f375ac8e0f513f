#include "tests/job_fixture.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <regex>
#include <system_error>
#include <thread>

#include "job/job.h"
#include "tests/support/file_bytes.h"

extern char** environ;

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Far beyond any run here, which are all seconds long; a program that hangs
// fails its test instead of blocking the whole suite.
constexpr auto kKillAfter = 120s;
constexpr auto kPoll = 20ms;
const std::string kXvfbRun = KESTRIN_XVFB_RUN;
const std::string kUnshare = "/usr/bin/unshare";
const std::string kShell = "/bin/sh";
const std::string kLogName = "KESTRIN.log";
const std::string kLineEnd = "\r\n";
const std::string kFailureMark = "NAPAKA";
const std::string kStamp = "<date> ";
const std::string kFailureStamp = kFailureMark + kStamp;

// This environment without any display, so that the program takes the one
// it would have under a scheduler, and with the plain C locale, so that
// the log's date-time text has one known form.
std::vector<std::string> HeadlessEnvironment() {
  const std::vector<std::string> dropped = {
      "DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM=", "LC_ALL=", "LANG=", "LANGUAGE="};
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) {
    const std::string text = *entry;
    if (std::none_of(dropped.begin(), dropped.end(),
                     [&](const std::string& name) { return text.rfind(name, 0) == 0; }))
      env.push_back(text);
  }
  env.push_back("LC_ALL=C");
  return env;
}

std::vector<char*> Pointers(const std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (const std::string& text : texts) pointers.push_back(const_cast<char*>(text.c_str()));
  pointers.push_back(nullptr);
  return pointers;
}

// Waits for the process group led by `pid`; kills the whole group when it
// outlives kKillAfter, or as soon as `killNow` says so. The exit status, or -1.
int WaitOrKill(pid_t pid, const std::function<bool()>& killNow) {
  const auto deadline = std::chrono::steady_clock::now() + kKillAfter;
  int wstatus = 0;
  while (waitpid(pid, &wstatus, WNOHANG) == 0) {
    if (killNow && killNow()) {
      kill(-pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      return -1;
    }
    if (std::chrono::steady_clock::now() > deadline) {
      kill(-pid, SIGKILL);
      waitpid(pid, &wstatus, 0);
      ADD_FAILURE() << "the program did not end within " << kKillAfter.count() << " s";
      return -1;
    }
    std::this_thread::sleep_for(kPoll);
  }
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

// A view that shows nothing but the status lines, on standard output, as
// the program does without a display.
class StatusEcho : public JobView {
 public:
  void ShowJob(const JobSettings&) override {}
  void ShowMode(bool) override {}
  void ShowStatus(const std::string& text) override { std::fputs((text + "\n").c_str(), stdout); }
  void ShowLine(const std::string&, bool) override {}
  void ShowFilesLeft(const std::vector<ListedFile>&, size_t) override {}
  void ShowFile(const std::string&) override {}
  void FileStarted() override {}
  void TransferProgressed(int64_t, int64_t) override {}
  void ShowTransferText(const std::string&) override {}
  void Yield() override {}
  void YieldWhenDue() override {}
  void JobEnded(int) override {}
};

// Standard output and error, and the working directory, the job's own for
// as long as this lives.
class JobSurroundings {
 public:
  JobSurroundings(const fs::path& out, const fs::path& err, const fs::path& work)
      : oldDirectory_(fs::current_path()) {
    Redirect(STDOUT_FILENO, out);
    Redirect(STDERR_FILENO, err);
    fs::current_path(work);
  }
  ~JobSurroundings() {
    std::fflush(stdout);
    std::fflush(stderr);
    for (const auto& [fd, saved] : saved_) {
      dup2(saved, fd);
      close(saved);
    }
    fs::current_path(oldDirectory_);
  }

 private:
  void Redirect(int fd, const fs::path& path) {
    std::fflush(nullptr);
    const int file = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) throw std::system_error(errno, std::generic_category(), path.string());
    saved_.emplace_back(fd, dup(fd));
    dup2(file, fd);
    close(file);
  }

  fs::path oldDirectory_;
  std::vector<std::pair<int, int>> saved_;
};

std::string ReadIfThere(const fs::path& path) {
  return fs::is_regular_file(path) ? readBytes(path) : "";
}

}  // namespace

JobTest::JobTest() : program_(install.path() / fs::path(KESTRIN_EXE).filename()) {
  // A copy, not a link: the program finds kestrin.ini beside the file it
  // really is, so a link would lead it back to the build directory.
  fs::copy_file(KESTRIN_EXE, program_);
}

std::string JobTest::ProgramSection(const std::string& selected) {
  return "[PROGRAM]\nIZBRANO=" + selected + "\n";
}

std::string JobTest::JobSection(const std::string& name, const std::string& keys,
                                const std::string& serverText) const {
  return "[" + name + "]\nFTPURL=" + (serverText.empty() ? server.address() : serverText) +
         "\nuporabnik=" + server.user() + "\ngeslo=" + server.password() +
         "\nlocaldir=" + local.path().string() + "/\n" + keys + "\n";
}

void JobTest::WriteSettings(const std::string& text) const {
  writeBytes(install.path() / "kestrin.ini", text);
}

std::string JobTest::TouchCommand(const std::string& marker) const {
  return "touch '" + Marker(marker).string() + "'";
}

JobResult JobTest::Run(const std::vector<std::string>& args) const {
  const fs::path out = scratch.path() / "stdout", err = scratch.path() / "stderr";
  std::string commandLine;
  for (const std::string& arg : args) commandLine += (commandLine.empty() ? "" : " ") + arg;
  std::chrono::duration<double> paused{};
  JobResult result;
  const auto start = std::chrono::steady_clock::now();
  {
    JobSurroundings surroundings(out, err, work.path());
    StatusEcho view;
    Job job(view);
    job.Pause = [&](std::chrono::milliseconds length) { paused += length; };
    job.Load((install.path() / "kestrin.ini").string());
    if (prepareClient) prepareClient(job.Client());
    result.status = job.Run(commandLine);
  }
  result.elapsed = std::chrono::steady_clock::now() - start + paused;
  result.out = ReadIfThere(out);
  result.err = ReadIfThere(err);
  result.log = ReadIfThere(work.path() / kLogName);
  return result;
}

JobResult JobTest::RunProgram(const std::vector<std::string>& args) const {
  return RunUnder({}, args);
}

JobResult JobTest::RunKilledWhen(const std::function<bool()>& killNow) const {
  return Launch({program_.string()}, killNow);
}

JobResult JobTest::RunWithUnreachableDisplay(const std::vector<std::string>& args) const {
  return RunUnder({"/usr/bin/env", "DISPLAY=:97"}, args);
}

JobResult JobTest::RunWithDisplay(const std::vector<std::string>& args,
                                  std::chrono::seconds lostAfter, const std::string& signal) const {
  const std::string number = "'" + (scratch.path() / "display").string() + "'";
  const std::string loss =
      "(sleep " + std::to_string(lostAfter.count()) + "; kill -" + signal + " $x) & ";
  return RunUnder({kShell, "-c",
                   "rm -f " + number + "; " + (fs::path(kXvfbRun).parent_path() / "Xvfb").string() +
                       " -displayfd 3 3>" + number + " 2>/dev/null & x=$!; until [ -s " + number +
                       " ]; do sleep 0.1; done; DISPLAY=:$(cat " + number +
                       ") \"$0\" \"$@\" & p=$!; " + (lostAfter.count() ? loss : "") +
                       "wait $p; s=$?; kill $x 2>/dev/null; kill -CONT $x 2>/dev/null; exit $s"},
                  args);
}

JobResult JobTest::RunWithoutShell(const std::vector<std::string>& args) const {
  // The shell that mounts is already running; only later starts fail.
  return RunUnder({kUnshare, "--mount", "--propagation", "private", kShell, "-c",
                   "mount --bind /dev/null " + kShell + " && exec \"$0\" \"$@\""},
                  args);
}

bool JobTest::CanRunWithoutShell() {
  return std::system((kUnshare + " --mount --propagation private true 2>/dev/null").c_str()) == 0;
}

JobResult JobTest::RunUnder(const std::vector<std::string>& wrapper,
                            const std::vector<std::string>& args) const {
  std::vector<std::string> argv = wrapper;
  argv.push_back(program_.string());
  argv.insert(argv.end(), args.begin(), args.end());
  return Launch(argv);
}

JobResult JobTest::Launch(const std::vector<std::string>& argv,
                          const std::function<bool()>& killNow) const {
  const fs::path out = scratch.path() / "stdout", err = scratch.path() / "stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, work.path().c_str());
  // A group of its own, so that a hung run is killed with all it started.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);

  const std::vector<std::string> env = HeadlessEnvironment();
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  const int error = posix_spawn(&pid, argv[0].c_str(), &actions, &attr, Pointers(argv).data(),
                                Pointers(env).data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (error != 0) throw std::system_error(error, std::generic_category(), "posix_spawn " + argv[0]);

  JobResult result;
  result.status = WaitOrKill(pid, killNow);
  result.elapsed = std::chrono::steady_clock::now() - start;
  result.out = ReadIfThere(out);
  result.err = ReadIfThere(err);
  result.log = ReadIfThere(work.path() / kLogName);
  return result;
}

bool JobTest::ExistsWithin(const fs::path& path, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  while (!fs::exists(path)) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

std::vector<std::string> JobTest::Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> JobTest::Records(const std::string& log) {
  static const std::regex stamp("^(" + kFailureMark + R"()?\d\d/\d\d/\d\d \d\d:\d\d:\d\d )");
  std::vector<std::string> records;
  for (size_t start = 0; start < log.size();) {
    size_t end = log.find(kLineEnd, start);
    if (end == std::string::npos) end = log.size();
    records.push_back(std::regex_replace(log.substr(start, end - start), stamp, "$1" + kStamp,
                                         std::regex_constants::format_first_only));
    start = end + kLineEnd.size();
  }
  return records;
}

std::string JobTest::Moved(const std::string& source, const std::string& destination) {
  return kStamp + source + "----->" + destination;
}

std::string JobTest::Failed(const std::string& source, const std::string& destination,
                            const std::string& error) {
  return kFailureStamp + source + "----->" + destination + " " + error;
}

std::string JobTest::NotConnected(const std::string& serverText, const std::string& error) {
  return kFailureStamp + serverText + " " + error;
}

std::vector<std::string> JobTest::Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (size_t start = 0; start < text.size();) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string JobTest::AfterPrefix(const std::string& text, const std::string& prefix) {
  for (const std::string& line : Lines(text))
    if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
  return "";
}

int JobTest::Received(const std::string& verb) {
  const std::vector<std::string> commands = server.commands();
  return static_cast<int>(
      std::count_if(commands.begin(), commands.end(),
                    [&](const std::string& line) { return line.rfind(verb, 0) == 0; }));
}
