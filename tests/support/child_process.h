#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

// A helper process spoken to in lines. Its stdin and stdout are one end of a
// socket pair, so writes never raise SIGPIPE in the test and closing our
// sending side is the child's cue to exit.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();  // closes its input, waits briefly, then kills it
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  void writeLine(const std::string& line);
  // The next line without its newline; throws on timeout or when the child
  // closes its output.
  std::string readLine(std::chrono::milliseconds timeout);

 private:
  pid_t pid_ = -1;
  int socket_ = -1;
  std::string pending_;
};
