#include "block_reader.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace inet {

namespace {
constexpr size_t kBlockSize = 256 * 1024;
// Blocks that may wait for the caller at once.
constexpr size_t kBlocksWaiting = 4;
// A reader that found the queue full goes on once the caller has taken it
// down to this, so that it is woken once for several blocks.
constexpr size_t kBlocksToResume = kBlocksWaiting / 2;
}  // namespace

BlockReader::BlockReader(int fd, int64_t length)
    : fd_(fd), length_(length), thread_(&BlockReader::Run, this) {}

BlockReader::~BlockReader() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

// Fills `block` with the next bytes, up to a block's worth; false at a
// failed read or at an end of the file before `remaining` ran out.
bool BlockReader::ReadBlock(std::string& block, int64_t& remaining) {
  block.resize(static_cast<size_t>(std::min<int64_t>(remaining, kBlockSize)));
  size_t filled = 0;
  while (filled < block.size()) {
    ssize_t n = ::read(fd_, block.data() + filled, block.size() - filled);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    filled += static_cast<size_t>(n);
  }
  block.resize(filled);
  remaining -= static_cast<int64_t>(filled);
  return remaining == 0 || filled == kBlockSize;
}

void BlockReader::Run() {
  int64_t remaining = length_;
  bool more = remaining > 0;
  while (more) {
    std::string block;
    more = ReadBlock(block, remaining) && remaining > 0;
    std::unique_lock lock(mutex_);
    if (queue_.size() >= kBlocksWaiting) {
      changed_.wait(lock, [this] { return queue_.size() <= kBlocksToResume || stopping_; });
    }
    if (stopping_) return;
    if (!block.empty()) queue_.push_back(std::move(block));
    // Woken with the lock still held, the caller would only wait for it.
    const bool wake = queue_.size() == 1;
    lock.unlock();
    if (wake) changed_.notify_all();
  }
  std::lock_guard lock(mutex_);
  done_ = true;
  changed_.notify_all();
}

bool BlockReader::TakeBlock() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !queue_.empty() || done_; });
  if (queue_.empty()) return false;
  block_ = std::move(queue_.front());
  queue_.pop_front();
  offset_ = 0;
  const bool wake = queue_.size() == kBlocksToResume;
  lock.unlock();
  if (wake) changed_.notify_all();
  return true;
}

bool BlockReader::Read(char* data, size_t size) {
  while (size > 0) {
    if (offset_ == block_.size() && !TakeBlock()) return false;
    size_t n = std::min(size, block_.size() - offset_);
    std::memcpy(data, block_.data() + offset_, n);
    offset_ += n;
    data += n;
    size -= n;
  }
  return true;
}

}  // namespace inet
