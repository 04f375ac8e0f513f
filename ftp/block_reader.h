// Reads an upload's local file ahead of the transfer on a thread of its own,
// in large blocks, so that the copying out of the page cache and any wait
// for the disk go on while the program handles the bytes before them. A few
// blocks wait at most; a reader that is ahead waits rather than grow.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

namespace inet {

class BlockReader {
 public:
  // Reads `length` bytes of `fd` from where it stands.
  BlockReader(int fd, int64_t length);
  ~BlockReader();  // stops at once
  BlockReader(const BlockReader&) = delete;
  BlockReader& operator=(const BlockReader&) = delete;

  // Copies the next `size` bytes into `data`; false when the file ended
  // before them or a read failed.
  bool Read(char* data, size_t size);

 private:
  void Run();
  bool ReadBlock(std::string& block, int64_t& remaining);
  bool TakeBlock();

  int fd_;
  int64_t length_;
  std::string block_;  // the caller's
  size_t offset_ = 0;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::string> queue_;
  bool done_ = false;      // the reader has read all it will
  bool stopping_ = false;  // the caller wants no more
  std::thread thread_;
};

}  // namespace inet
