#include "tests/support/child_process.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>
#include <thread>

extern char** environ;

namespace {

constexpr std::chrono::seconds kExitGrace{2};
constexpr std::chrono::milliseconds kExitPoll{10};

[[noreturn]] void throwErrno(const std::string& what) {
  throw std::system_error(errno, std::generic_category(), what);
}

bool exitedWithin(pid_t pid, std::chrono::steady_clock::duration grace) {
  auto deadline = std::chrono::steady_clock::now() + grace;
  do {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return true;
    std::this_thread::sleep_for(kExitPoll);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  int ends[2];
  // Close-on-exec keeps our end out of this and any other child, so the
  // child sees end of input as soon as we shut it.
  if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) throwErrno("socketpair");
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, ends[1], STDOUT_FILENO);
  int error = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ends[1]);
  if (error != 0) {
    close(ends[0]);
    throw std::system_error(error, std::generic_category(), "posix_spawn " + argv[0]);
  }
  socket_ = ends[0];
}

ChildProcess::~ChildProcess() {
  shutdown(socket_, SHUT_WR);
  if (!exitedWithin(pid_, kExitGrace)) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  close(socket_);
}

void ChildProcess::writeLine(const std::string& line) {
  std::string data = line + "\n";
  for (std::size_t done = 0; done < data.size();) {
    ssize_t sent = send(socket_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
    if (sent < 0 && errno != EINTR) throwErrno("writing to child");
    if (sent > 0) done += static_cast<std::size_t>(sent);
  }
}

std::string ChildProcess::readLine(std::chrono::milliseconds timeout) {
  auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (auto end = pending_.find('\n'); end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      return line;
    }
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd waiting{socket_, POLLIN, 0};
    int ready = left.count() > 0 ? poll(&waiting, 1, static_cast<int>(left.count())) : 0;
    if (ready < 0 && errno == EINTR) continue;
    if (ready < 0) throwErrno("waiting for child");
    if (ready == 0) throw std::runtime_error("child process did not answer in time");
    char buffer[4096];
    ssize_t got = recv(socket_, buffer, sizeof buffer, 0);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) throwErrno("reading from child");
    if (got == 0) throw std::runtime_error("child process closed its output");
    pending_.append(buffer, static_cast<std::size_t>(got));
  }
}
