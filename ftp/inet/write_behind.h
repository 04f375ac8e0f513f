// Asks the disk to start on a file's bytes as soon as they are written,
// from a thread of its own, so that making the file durable at its end
// waits for little more than its last bytes. The request can wait for the
// disk's queue; the writer, which may be a network transfer, must not.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace inet {

class WriteBehind {
 public:
  explicit WriteBehind(int fd);
  ~WriteBehind();  // stops at once; the disk is asked for nothing more
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;

  // The file's bytes up to `end` are written. The disk is asked to start
  // on them once a step's worth has gathered, so that neither the writer
  // nor the thread pays a system call for every write.
  void Written(off_t end);

 private:
  void Run();

  int fd_;
  off_t posted_ = 0;  // the writer's: up to where it told the thread
  std::mutex mutex_;
  std::condition_variable changed_;
  off_t written_ = 0;  // up to where the file is written
  off_t started_ = 0;  // up to where the disk was asked to start
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace inet
