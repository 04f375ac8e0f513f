#include "ftp/inet/block_writer.h"

#include "base/posix_io.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace inet {

namespace {
// Blocks that may wait for the writer at once.
constexpr size_t kBlocksWaiting = 4;
}  // namespace

int WriteAndStartDisk(int fd, const char* data, size_t size, off_t& written) {
  const off_t start = written;
  if (const int err = WriteAll(fd, std::string_view(data, size)); err != 0) return err;
  written += static_cast<off_t>(size);
  // The disk starts on these bytes now rather than all at once when the
  // download is made durable at its end: the final sync then waits for
  // little more than the last block. Only a hint; failures show at the sync.
  if (written > start) ::sync_file_range(fd, start, written - start, SYNC_FILE_RANGE_WRITE);
  return 0;
}

BlockWriter::BlockWriter(int fd) : fd_(fd), thread_(&BlockWriter::Run, this) {}

BlockWriter::~BlockWriter() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
    queue_.clear();
  }
  changed_.notify_all();
  thread_.join();
}

bool BlockWriter::Write(std::string& block) {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return queue_.size() < kBlocksWaiting || error_ != 0; });
  if (error_ != 0) return false;
  queue_.push_back(std::move(block));
  block = std::string();
  if (!spares_.empty()) {
    block = std::move(spares_.front());
    spares_.pop_front();
  }
  // Woken with the lock still held, the writer would only wait for it.
  lock.unlock();
  changed_.notify_all();
  return true;
}

bool BlockWriter::Drain() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return (queue_.empty() && !writing_) || error_ != 0; });
  return error_ == 0;
}

int BlockWriter::error() const {
  std::lock_guard lock(mutex_);
  return error_;
}

void BlockWriter::Run() {
  std::unique_lock lock(mutex_);
  while (true) {
    changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
    if (stopping_) return;
    std::string block = std::move(queue_.front());
    queue_.pop_front();
    writing_ = true;
    lock.unlock();
    const int err = WriteAndStartDisk(fd_, block.data(), block.size(), written_);
    block.clear();
    lock.lock();
    writing_ = false;
    if (spares_.size() < kBlocksWaiting) spares_.push_back(std::move(block));
    if (err != 0) {
      // Nothing after a failed block may be written: the file would have a hole.
      error_ = err;
      queue_.clear();
    }
    lock.unlock();
    changed_.notify_all();
    lock.lock();
  }
}

}  // namespace inet
