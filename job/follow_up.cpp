#include "job/follow_up.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <string_view>
#include <system_error>

extern char** environ;

namespace {

constexpr int kFirstPrivateFd = STDERR_FILENO + 1;

// The shell's own words, which name no program to look for.
constexpr std::string_view kShellWords[] = {
    "!",       ".",       ":",        "[",    "alias",    "bg",     "break",  "case",
    "cd",      "command", "continue", "do",   "done",     "echo",   "elif",   "else",
    "esac",    "eval",    "exec",     "exit", "export",   "false",  "fc",     "fg",
    "fi",      "for",     "getopts",  "hash", "if",       "in",     "jobs",   "kill",
    "local",   "printf",  "pwd",      "read", "readonly", "return", "set",    "shift",
    "test",    "then",    "times",    "trap", "true",     "type",   "ulimit", "umask",
    "unalias", "unset",   "until",    "wait", "while",    "{",      "}"};
// Characters that end the first word, and those within it that only the
// shell can resolve (quoting, expansions, patterns, assignments, comments).
constexpr std::string_view kWordEnd = " \t\n;&|<>()";
constexpr std::string_view kShellSyntax = "\"'\\$`*?[]~={}#!";
// The shell's search path when PATH is not set.
constexpr char kDefaultPath[] = "/usr/local/bin:/usr/bin:/bin";

bool IsShellWord(std::string_view word) {
  return std::ranges::find(kShellWords, word) != std::end(kShellWords);
}

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         ::access(path.c_str(), X_OK) == 0;
}

// The first of PATH's directories that holds `word` as an executable file;
// an empty entry is the working directory, as for the shell.
bool FoundOnPath(const std::string& word) {
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : kDefaultPath;
  for (;;) {
    const size_t colon = dirs.find(':');
    const std::string dir(dirs.substr(0, colon));
    if (IsExecutableFile((dir.empty() ? "." : dir) + "/" + word)) return true;
    if (colon == std::string_view::npos) return false;
    dirs.remove_prefix(colon + 1);
  }
}

// Owns the two attribute objects posix_spawn needs; each setter returns an
// error number, 0 on success.
class SpawnSetup {
 public:
  SpawnSetup() {
    attrInit_ = posix_spawnattr_init(&attr_);
    actionsInit_ = posix_spawn_file_actions_init(&actions_);
  }
  ~SpawnSetup() {
    if (attrInit_ == 0) posix_spawnattr_destroy(&attr_);
    if (actionsInit_ == 0) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  int Configure() {
    if (attrInit_ != 0) return attrInit_;
    if (actionsInit_ != 0) return actionsInit_;
    // Its own session: the command survives this program's end and is not
    // hit by signals sent to the terminal or process group we ran in.
    // Signals blocked or ignored here are not the command's business.
    sigset_t none, pipe;
    sigemptyset(&none);
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    int error = posix_spawnattr_setflags(
        &attr_, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    if (error == 0) error = posix_spawnattr_setsigmask(&attr_, &none);
    if (error == 0) error = posix_spawnattr_setsigdefault(&attr_, &pipe);
    // Nobody will ever type into it; and it must not keep our sockets and
    // files (the display connection among them) open after we are gone.
    if (error == 0)
      error = posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (error == 0) error = posix_spawn_file_actions_addclosefrom_np(&actions_, kFirstPrivateFd);
    return error;
  }

  int Spawn(const std::string& shell, const std::string& commandLine) {
    char* argv[] = {const_cast<char*>(shell.c_str()), const_cast<char*>("-c"),
                    const_cast<char*>(commandLine.c_str()), nullptr};
    // Never waited for: the program ends soon after starting its commands,
    // and the commands are then adopted by init.
    pid_t pid;
    return posix_spawn(&pid, shell.c_str(), &actions_, &attr_, argv, environ);
  }

 private:
  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
  int attrInit_;
  int actionsInit_;
};

}  // namespace

bool CommandProgramFound(const std::string& commandLine, std::string& errorText) {
  const size_t start = commandLine.find_first_not_of(" \t\n");
  if (start == std::string::npos) return true;
  const size_t end = commandLine.find_first_of(kWordEnd, start);
  const std::string word = commandLine.substr(start, end == std::string::npos ? end : end - start);
  if (word.empty() || word.find_first_of(kShellSyntax) != std::string::npos || IsShellWord(word))
    return true;
  const bool found =
      word.find('/') != std::string::npos ? IsExecutableFile(word) : FoundOnPath(word);
  if (!found) errorText = word + ": not found";
  return found;
}

bool StartFollowUpCommand(const std::string& commandLine, std::string& errorText,
                          const std::string& shell) {
  if (!CommandProgramFound(commandLine, errorText)) return false;
  SpawnSetup setup;
  int error = setup.Configure();
  if (error == 0) error = setup.Spawn(shell, commandLine);
  if (error == 0) return true;
  errorText = shell + ": " + std::generic_category().message(error);
  return false;
}
