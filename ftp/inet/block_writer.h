// Writes a download's blocks to its file on a thread of its own, so that
// the copying into the page cache and the start of the disk's work go on
// while the program handles the next bytes. A few blocks wait at most; a
// writer that falls behind holds the caller up rather than grow. The blocks
// it has written go back to the caller to be filled again.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace inet {

// Writes all of `data` at the end of what `written` counts, then asks the
// disk to start on it. 0, or the errno of the failed write.
int WriteAndStartDisk(int fd, const char* data, size_t size, off_t& written);

class BlockWriter {
 public:
  explicit BlockWriter(int fd);
  ~BlockWriter();  // stops at once; blocks not yet written are dropped
  BlockWriter(const BlockWriter&) = delete;
  BlockWriter& operator=(const BlockWriter&) = delete;

  // Queues `block`, which then holds an emptied one already written, or
  // nothing; false once a write has failed (its errno in error()).
  bool Write(std::string& block);
  // Waits until every queued block is written; false if one failed.
  bool Drain();
  int error() const;

 private:
  void Run();

  int fd_;
  off_t written_ = 0;
  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  std::deque<std::string> spares_;  // written, to go back to the caller
  bool writing_ = false;
  bool stopping_ = false;
  int error_ = 0;
  std::thread thread_;
};

}  // namespace inet
